// SPDX-License-Identifier: MIT

#include "views/mice_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

#include "views/colors.h"
#include "views/divider.h"
#include "views/setting_rows.h"
#include "views/switch_toggle.h"
#include "views/text_style.h"

namespace glidewheel {

MiceView::MiceView(Preferences& prefs, const std::string& leftAloneOn, QWidget* parent)
    : QWidget(parent),
      prefs_(prefs),
      leftAloneOn_(QString::fromStdString(leftAloneOn)),
      scroll_(new QScrollArea(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    layout->addWidget(scroll_);
    showMice();
    changes_ = prefs_.wheelMiceChanged().sink([this] { showMice(); });
}

// Built anew at every change. The old rows go once control returns to the event loop: the
// change may come from a click on one of their switches.
void MiceView::showMice() {
    if (QWidget* old = scroll_->takeWidget()) old->deleteLater();
    scroll_->setWidget(createRows());
}

QWidget* MiceView::createRows() {
    auto* rows = new QWidget;
    rows->setObjectName("mice");
    auto* form = new QVBoxLayout(rows);
    form->setContentsMargins(kFormInset, kFormInset, kFormInset, kFormInset);
    form->setSpacing(kFormSpacing);
    if (!leftAloneOn_.isEmpty()) {
        auto* why = styledLabel(tr("%1 shows most applications a glide only once each notch is "
                                   "whole, some 300 ms late, so Glidewheel leaves the mice as "
                                   "they are here.")
                                    .arg(leftAloneOn_),
                                TextStyle::callout, rows);
        why->setObjectName("miceLeftAlone");
        why->setWordWrap(true);
        setForeground(*why, Foreground::secondary);
        form->addWidget(why);
    } else if (prefs_.wheelMice().empty()) {
        auto* none = styledLabel(tr("No wheel mouse seen yet"), TextStyle::callout, rows);
        setForeground(*none, Foreground::secondary);
        form->addWidget(none);
    }
    for (const platform::KnownWheelMouse& mouse : prefs_.wheelMice()) {
        if (form->count() > 0) form->addWidget(new Divider(rows));
        addMouseRow(*rows, mouse);
    }
    form->addStretch();
    return rows;
}

void MiceView::addMouseRow(QWidget& rows, const platform::KnownWheelMouse& mouse) {
    auto* row = new QHBoxLayout;
    auto* text = new QVBoxLayout;
    text->setSpacing(2);  // px between the name and its ids
    auto* name = styledLabel(QString::fromStdString(mouse.name), TextStyle::callout, &rows);
    name->setWordWrap(true);
    text->addWidget(name);
    auto* ids =
        styledLabel(QString::fromStdString(mouse.vendorProduct()), TextStyle::caption, &rows);
    setForeground(*ids, Foreground::secondary);
    text->addWidget(ids);
    row->addLayout(text, 1);

    auto* smooth = new SwitchToggle(&rows);
    smooth->setObjectName(QString::fromStdString(mouse.id()));
    smooth->setAccessibleName(QString::fromStdString(mouse.name));
    smooth->setChecked(mouse.smoothed());
    connect(smooth, &SwitchToggle::clicked, this,
            [this, id = mouse.id()](bool on) { prefs_.setMouseSmoothed(id, on); });
    row->addWidget(smooth, 0, Qt::AlignVCenter);
    static_cast<QVBoxLayout*>(rows.layout())->addLayout(row);
}

}  // namespace glidewheel
