#pragma once

#include "device/Line.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <stdexcept>

namespace testsupport {

// A line that records what is done with it ("open COM2", "send 83 0a 00 00",
// "close") and delivers blocks when a test says so.
class TFakeLine : public device::TLine {
public:
    QStringList calls;
    bool openThrows = false;
    bool sendSucceeds = true;
    // Called for every send instead of the recording when set; its answer is the send's.
    std::function<bool(QByteArrayView)> onSend;

    void Open(const QString& portName) override {
        calls << "open " + portName;
        if (openThrows)
            throw std::runtime_error("Error opening com port");
        m_open = true;
    }
    void Close() override {
        calls << "close";
        m_open = false;
    }
    bool IsOpen() const override { return m_open; }
    bool Send(QByteArrayView bytes) override {
        if (onSend)
            return onSend(bytes);
        calls << "send " + QString::fromLatin1(bytes.toByteArray().toHex(' '));
        return sendSucceeds;
    }
    void SetListener(device::TLineListener* listener) override { m_listener = listener; }

    // The block arrives now, inside this call.
    void Deliver(const QByteArray& block) {
        if (m_listener)
            m_listener->LineData(block);
    }
    // The block arrives when events are next processed, as the serial component's do.
    void Post(const QByteArray& block) {
        QTimer::singleShot(0, QCoreApplication::instance(), [this, block] { Deliver(block); });
    }
    void Lose() {
        m_open = false;
        if (m_listener)
            m_listener->LineLost();
    }

private:
    device::TLineListener* m_listener = nullptr;
    bool m_open = false;
};

} // namespace testsupport
