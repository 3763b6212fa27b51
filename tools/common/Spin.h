#pragma once

#include <QElapsedTimer>
#include <QEventLoop>
#include <QObject>
#include <QTimer>
#include <functional>

namespace tools {

// Runs the event loop until done() holds (looked at every `everyMs`) or the limit
// passes; whether it holds.
inline bool Spin(const std::function<bool()>& done, int limitMs, int everyMs = 20) {
    QElapsedTimer t;
    t.start();
    QEventLoop loop;
    QTimer check;
    QObject::connect(&check, &QTimer::timeout, [&] {
        if (done() || t.elapsed() > limitMs)
            loop.quit();
    });
    check.start(everyMs);
    if (!done())
        loop.exec();
    return done();
}

} // namespace tools
