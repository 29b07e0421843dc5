// Notices the moment a top-level window has been painted for the first
// time: what a user sees as "shown". Installed on the application, it runs
// its handler once per window, from the event loop right after that first
// paint has finished.
#pragma once

#include <QObject>
#include <QSet>

#include <functional>

class QWidget;

namespace dravenlok::bench {

class ShownWatch final : public QObject {
public:
    using Handler = std::function<void(QWidget& window)>;

    // The application object must exist.
    explicit ShownWatch(Handler handler);
    ~ShownWatch() override;
    ShownWatch(const ShownWatch&) = delete;
    ShownWatch& operator=(const ShownWatch&) = delete;

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Handler m_handler;
    QSet<const QObject*> m_painted;
};

// The process's peak resident memory (VmHWM) in kB, 0 when unknown.
[[nodiscard]] long PeakResidentKb();

}  // namespace dravenlok::bench
