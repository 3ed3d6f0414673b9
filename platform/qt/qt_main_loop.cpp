#include "platform/qt/qt_main_loop.h"

#include <QObject>
#include <QSocketNotifier>

namespace glidewheel::platform::qt {
namespace {

class NotifierWatch final : public linuxdesktop::MainLoop::Watch {
public:
    NotifierWatch(int fd, std::function<void()> onReadable)
        : notifier_(std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read)),
          dispatch_(std::make_shared<Dispatch>()) {
        // The slot owns the handler and the dispatch state, which Qt keeps alive for the length
        // of the call, so a handler may destroy this watch.
        QObject::connect(notifier_.get(), &QSocketNotifier::activated,
                         [handler = std::move(onReadable), dispatch = dispatch_] {
                             dispatch->inHandler = true;
                             handler();
                             dispatch->inHandler = false;
                         });
    }

    ~NotifierWatch() override {
        if (!dispatch_->inHandler) return;  // not activating: unique_ptr deletes the notifier
        // Destroyed by its own handler: the notifier is still emitting, so it goes once control
        // is back in the event loop.
        notifier_->setEnabled(false);
        notifier_->disconnect();
        notifier_.release()->deleteLater();
    }

    void setEnabled(bool enabled) override { notifier_->setEnabled(enabled); }

private:
    struct Dispatch {
        bool inHandler = false;
    };

    std::unique_ptr<QSocketNotifier> notifier_;
    std::shared_ptr<Dispatch> dispatch_;
};

}  // namespace

std::unique_ptr<linuxdesktop::MainLoop::Watch> QtMainLoop::watchReadable(
    int fd, std::function<void()> onReadable) {
    return std::make_unique<NotifierWatch>(fd, std::move(onReadable));
}

}  // namespace glidewheel::platform::qt
