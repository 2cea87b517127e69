// Ends a startup benchmark run: once the first window has been exposed and
// painted, prints the CLOCK_MONOTONIC time in nanoseconds ("shown_ns=...")
// and rejects the modal dialog, so that the program ends as after Cancel.
#pragma once

#include <time.h>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QTimer>
#include <QWindow>
#include <cstdio>

class CloseWhenShown : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_done && event->type() == QEvent::Expose) {
            auto* window = qobject_cast<QWindow*>(watched);
            if (window != nullptr && window->isExposed()) {
                m_done = true;
                // Queued: runs after the expose has been painted and flushed.
                QTimer::singleShot(0, [] {
                    timespec now{};
                    clock_gettime(CLOCK_MONOTONIC, &now);
                    std::printf("shown_ns=%lld\n",
                                static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec);
                    std::fflush(stdout);
                    if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
                        dialog->reject();
                    }
                });
            }
        }
        return false;
    }

private:
    bool m_done = false;
};
