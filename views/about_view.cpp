// SPDX-License-Identifier: MIT

#include "views/about_view.h"

#include <QApplication>
#include <QLabel>
#include <QVBoxLayout>

#include "views/colors.h"
#include "views/divider.h"
#include "views/presentation.h"
#include "views/symbol_image.h"
#include "views/text_style.h"

namespace glidewheel {

namespace {

constexpr int kSymbolSize = 64;     // px
constexpr int kDividerWidth = 200;  // px

QString versionLine() { return AboutView::tr("Version %1").arg(versionString()); }

}  // namespace

AboutView::AboutView(QWidget* parent) : QWidget(parent) {
    // The style's default margins stand in for the platform's default inset. The two stretches
    // are equal, so the block sits in the vertical middle of the tab.
    auto* root = new QVBoxLayout(this);
    root->setSpacing(16);
    root->addStretch();

    root->addWidget(new SymbolImage("computermouse.fill", kSymbolSize, systemBlue(), this), 0,
                    Qt::AlignHCenter);

    auto* name = new QLabel(tr("Glidewheel"), this);
    name->setObjectName("name");
    QFont nameFont = textStyleFont(TextStyle::title, QApplication::font());
    nameFont.setWeight(QFont::Bold);
    name->setFont(nameFont);
    root->addWidget(name, 0, Qt::AlignHCenter);

    version_ = new QLabel(versionLine(), this);
    version_->setObjectName("version");
    setForeground(*version_, Foreground::secondary);
    root->addWidget(version_, 0, Qt::AlignHCenter);

    auto* topDivider = new Divider(this);
    topDivider->setFixedWidth(kDividerWidth);
    root->addWidget(topDivider, 0, Qt::AlignHCenter);

    auto* description =
        new QLabel(tr("Make your third-party mouse scroll\nas smooth as a trackpad."), this);
    description->setObjectName("description");
    description->setAlignment(Qt::AlignHCenter);
    setTextStyle(*description, TextStyle::callout);
    setForeground(*description, Foreground::secondary);
    root->addWidget(description, 0, Qt::AlignHCenter);

    auto* bottomDivider = new Divider(this);
    bottomDivider->setFixedWidth(kDividerWidth);
    root->addWidget(bottomDivider, 0, Qt::AlignHCenter);

    root->addStretch();
}

void AboutView::showEvent(QShowEvent* event) {
    version_->setText(versionLine());
    QWidget::showEvent(event);
}

}  // namespace glidewheel
