// SPDX-License-Identifier: MIT

#include "views/applications_view.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

#include "views/colors.h"
#include "views/control_size.h"
#include "views/divider.h"
#include "views/setting_rows.h"
#include "views/text_style.h"

namespace glidewheel {

ApplicationsView::ApplicationsView(Preferences& prefs, platform::PointerApplication& pointer,
                                   QWidget* parent)
    : QWidget(parent),
      prefs_(prefs),
      pointer_(pointer),
      scroll_(new QScrollArea(this)),
      countdown_(new QTimer(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(kFormInset, kFormInset, kFormInset, kFormInset);
    layout->setSpacing(kFormSpacing / 2);
    QString says =
        pointer_.isAvailable()
            ? tr("These applications get the wheel as the mouse sends it, without the glide.")
            : tr("This desktop does not tell which application is under the pointer, so this "
                 "list does not apply here.");
    if (pointer_.seesOnlyX11Windows())
        says += ' ' + tr("This desktop shows only the applications that run through XWayland "
                         "(X11), as most games do.");
    auto* intro = styledLabel(says, TextStyle::caption, this);
    intro->setObjectName("applicationsIntro");
    intro->setWordWrap(true);
    setForeground(*intro, Foreground::secondary);
    layout->addWidget(intro);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->viewport()->setAutoFillBackground(false);  // the tab's own background, as General's
    layout->addWidget(scroll_, 1);
    layout->addWidget(createAddButton());
    showApplications();
    changes_ = prefs_.rawWheelApplicationsChanged().sink([this] { showApplications(); });
    countdown_->setInterval(1000);  // ms
    connect(countdown_, &QTimer::timeout, this, &ApplicationsView::countDown);
}

// Built anew at every change. The old rows go once control returns to the event loop: the
// change may come from a click on one of their buttons.
void ApplicationsView::showApplications() {
    if (QWidget* old = scroll_->takeWidget()) old->deleteLater();
    scroll_->setWidget(createRows());
    scroll_->widget()->setAutoFillBackground(false);
}

QWidget* ApplicationsView::createRows() {
    auto* rows = new QWidget;
    rows->setObjectName("applications");
    auto* form = new QVBoxLayout(rows);
    form->setContentsMargins(0, 0, 0, 0);
    form->setSpacing(kFormSpacing / 2);
    const auto listed = prefs_.rawWheelApplications();
    if (listed->empty()) {
        auto* none = styledLabel(tr("No applications listed"), TextStyle::callout, rows);
        setForeground(*none, Foreground::secondary);
        form->addWidget(none);
    }
    for (const std::string& name : *listed) {
        if (form->count() > 0) form->addWidget(new Divider(rows));
        addApplicationRow(*rows, QString::fromStdString(name));
    }
    form->addStretch();
    return rows;
}

void ApplicationsView::addApplicationRow(QWidget& rows, const QString& name) {
    auto* row = new QHBoxLayout;
    auto* label = styledLabel(name, TextStyle::callout, &rows);
    label->setWordWrap(true);
    row->addWidget(label, 1);
    auto* remove = new QPushButton(tr("Remove"), &rows);
    remove->setObjectName(name);
    remove->setAccessibleName(tr("Remove %1").arg(name));
    setTextStyle(*remove, TextStyle::caption);
    setSmallControlSize(*remove);
    connect(remove, &QPushButton::clicked, this,
            [this, name] { prefs_.removeRawWheelApplication(name.toStdString()); });
    row->addWidget(remove, 0, Qt::AlignVCenter);
    static_cast<QVBoxLayout*>(rows.layout())->addLayout(row);
}

QWidget* ApplicationsView::createAddButton() {
    auto* box = new QWidget(this);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(4);  // px between the button and what it found
    add_ =
        new QPushButton(tr("Add the application under the pointer in %1 s").arg(kCountdownSeconds),
                        box);
    add_->setObjectName("addApplication");
    add_->setEnabled(pointer_.isAvailable());
    setTextStyle(*add_, TextStyle::callout);
    setSmallControlSize(*add_);
    connect(add_, &QPushButton::clicked, this, [this] {
        add_->setEnabled(false);
        pointer_.setNeeded(true);  // awake in time to know the application at the end
        secondsLeft_ = kCountdownSeconds;
        outcome_->setText(tr("Move the pointer onto the application: %1 s").arg(secondsLeft_));
        countdown_->start();
    });
    column->addWidget(add_, 0, Qt::AlignLeft);
    outcome_ = styledLabel({}, TextStyle::caption, box);
    outcome_->setObjectName("addOutcome");
    setForeground(*outcome_, Foreground::secondary);
    column->addWidget(outcome_);
    return box;
}

void ApplicationsView::countDown() {
    if (--secondsLeft_ > 0) {
        outcome_->setText(tr("Move the pointer onto the application: %1 s").arg(secondsLeft_));
        return;
    }
    countdown_->stop();
    add_->setEnabled(true);
    const std::shared_ptr<const platform::PointerTarget> target = pointer_.current();
    const bool added = target && prefs_.addRawWheelApplication(target->entryName());
    pointer_.setNeeded(!prefs_.rawWheelApplications()->empty());
    if (!target)
        outcome_->setText(tr("No application was under the pointer."));
    else if (!added)
        outcome_->setText(tr("The list is full: remove an application to add another."));
    else
        outcome_->setText(tr("Added %1.").arg(QString::fromStdString(target->entryName())));
}

}  // namespace glidewheel
