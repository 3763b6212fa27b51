#pragma once

#include "config/ConfigImage.h"
#include "protocol/Exchange.h"
#include "protocol/Line.h"

#include <QByteArray>
#include <QCoreApplication>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>
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
    // Requests the fake exchange answers, a moment after they were sent.
    std::map<QByteArray, QByteArray> answers;
    // What went to the comms log; how often the input was flushed.
    QStringList logged;
    int flushes = 0;

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
        if (const auto answer = answers.find(bytes.toByteArray());
            sendSucceeds && answer != answers.end())
            Post(answer->second);
        return sendSucceeds;
    }
    void SetListener(device::TLineListener* listener) override { m_listener = listener; }
    void FlushInput() override { ++flushes; }
    void Log(const QString& text) override { logged << text; }

    // A device answer: the data in groups of a header and three data bytes, the last
    // group padded with zeros.
    static QByteArray Frame(const QByteArray& data) {
        QByteArray line;
        for (qsizetype i = 0; i < data.size(); i += 3) {
            const qsizetype valid = std::min<qsizetype>(3, data.size() - i);
            line += char(i + 3 < data.size() ? 0x03 : 0x80 + valid) + data.mid(i, 3) +
                    QByteArray(3 - valid, '\0');
        }
        return line;
    }

    // What an exchange holding `image` answers to the read request of its basic or
    // terminal block (the write's read-back); empty for any other bytes.
    static QByteArray BlockAnswer(QByteArrayView request, const config::ConfigImage& image) {
        const auto block = [&](config::Region region, int size) {
            const auto bytes = image.Block(region);
            return Frame(
                QByteArray(reinterpret_cast<const char*>(bytes.data()), exchange::DataBytes(size)));
        };
        if (request == QByteArray::fromHex("830a0000"))
            return block(config::Region::Basic, exchange::kBasicSize);
        if (request == QByteArray::fromHex("83080000"))
            return block(config::Region::Terminal, exchange::kTerminalSize);
        return {};
    }

    // The block arrives now, inside this call.
    void Deliver(const QByteArray& block) {
        if (m_listener)
            m_listener->LineData(block);
    }
    // The block arrives when events are next processed, as the serial component's do;
    // not at all once the line is gone (a test that ended with a request out).
    void Post(const QByteArray& block) {
        QTimer::singleShot(0, &m_lebenszeit, [this, block] { Deliver(block); });
    }
    void Lose() {
        m_open = false;
        if (m_listener)
            m_listener->LineLost();
    }

private:
    device::TLineListener* m_listener = nullptr;
    bool m_open = false;
    QObject m_lebenszeit; // the context of posted blocks, which end with it
};

} // namespace testsupport
