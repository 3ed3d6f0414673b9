// SPDX-License-Identifier: MIT

// A Qt 6 window as a person scrolls one: a QScrollArea over a long text, full screen, that prints
// its scroll offsets each time it paints them changed, one line each, for the device tests to
// read (offsets set and overtaken before the next paint were never seen, so never printed):
//   scroll US VERTICAL HORIZONTAL   the offsets in pixels, painted at US on CLOCK_MONOTONIC (µs)
//   ready                           laid out and shown, placed away from both ends of the text
//   enter, leave                    the pointer came onto the window, or left it
// The text is drawn a line at a time, only where it is exposed, so that drawing costs the same
// wherever the window is scrolled to; a scroll always exposes a strip of it, so each paint of new
// offsets paints the text.

#include <QApplication>
#include <QEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QTimer>
#include <cstdio>
#include <ctime>

namespace {

constexpr int kLines = 3000, kLineHeight = 20, kWidth = 2000, kStart = 20000;  // px

class LongText : public QWidget {
public:
    LongText() { setFixedSize(kWidth, kLines * kLineHeight); }

protected:
    void paintEvent(QPaintEvent* event) override {
        printIfScrolled();
        QPainter painter(this);
        const QRect exposed = event->rect();
        painter.fillRect(exposed, Qt::white);
        for (int line = exposed.top() / kLineHeight;
             line <= exposed.bottom() / kLineHeight && line < kLines; ++line)
            painter.drawText(
                8, (line + 1) * kLineHeight - 5,
                QStringLiteral("Line %1 of a long text, scrolled by the wheel").arg(line + 1));
    }

private:
    // Where the scroll area shows this text: minus its position in the viewport.
    void printIfScrolled() {
        const QPoint now = -pos();
        if (now == painted_) return;
        painted_ = now;
        timespec at{};
        clock_gettime(CLOCK_MONOTONIC, &at);
        std::printf("scroll %lld %d %d\n", at.tv_sec * 1'000'000LL + at.tv_nsec / 1000, now.y(),
                    now.x());
    }
    QPoint painted_{-1, -1};
};

class ScrolledWindow : public QScrollArea {
public:
    ScrolledWindow() { setWidget(new LongText); }

protected:
    bool event(QEvent* event) override {
        if (event->type() == QEvent::Enter) std::printf("enter\n");
        if (event->type() == QEvent::Leave) std::printf("leave\n");
        return QScrollArea::event(event);
    }
    // Once the window is laid out and shown: away from the text's ends, so that scrolling either
    // way moves it.
    void showEvent(QShowEvent* event) override {
        QScrollArea::showEvent(event);
        QTimer::singleShot(0, this, [this] {
            verticalScrollBar()->setValue(kStart);
            std::printf("ready\n");
        });
    }
};

}  // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    QApplication application(argc, argv);
    ScrolledWindow window;
    window.showFullScreen();
    return application.exec();
}
