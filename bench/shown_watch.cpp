#include "bench/shown_watch.h"

#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <fstream>
#include <string>

namespace dravenlok::bench {

ShownWatch::ShownWatch(Handler handler) : m_handler(std::move(handler))
{
    QCoreApplication::instance()->installEventFilter(this);
}

ShownWatch::~ShownWatch()
{
    if (QCoreApplication::instance() != nullptr) {
        QCoreApplication::instance()->removeEventFilter(this);
    }
}

bool ShownWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::Paint || !watched->isWidgetType()) {
        return false;
    }
    QWidget* window = static_cast<QWidget*>(watched)->window();
    if (m_painted.contains(window)) {
        return false;
    }
    m_painted.insert(window);
    connect(window, &QObject::destroyed, this, [this, window] { m_painted.remove(window); });
    // Queued: the whole window (children included) paints first.
    QTimer::singleShot(0, window, [this, target = QPointer<QWidget>(window)] {
        if (target != nullptr) {
            m_handler(*target);
        }
    });
    return false;
}

long PeakResidentKb()
{
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word) {
        if (word == "VmHWM:") {
            long kb = 0;
            status >> kb;
            return kb;
        }
    }
    return 0;
}

}  // namespace dravenlok::bench
