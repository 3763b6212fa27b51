#include "SerialTestSupport.h"

#include "PtySimulator.h"
#include "serial/CommLog.h"
#include "serial/CommThreads.h"
#include "serial/LineSettings.h"
#include "support/TestSupport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <condition_variable>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace serialtest;

namespace {

// Log texts without their "HH:mm:ss  " stamps.
QStringList LogTexts(const QString& path) {
    QStringList texts;
    for (const QString& line : ReadLogLines(path))
        texts << line.mid(10);
    return texts;
}

struct SimFixture {
    varnosim::TPtySimulator sim;
    explicit SimFixture(varnosim::TVarnoDevice device = {})
        : sim(std::move(device), varnosim::TSimOptions{}) {
        std::string error;
        if (!sim.Start(&error))
            throw std::runtime_error(error);
    }
};

// A component on a bare pseudo-terminal, what it delivers collected; not yet open.
// The scratch home comes first, so that it outlives the component and its log.
class Comm32OnPty : public ::testing::Test {
protected:
    Comm32OnPty() {
        comm.SetCommPort(pty.devicePath());
        got.bind(comm);
    }
    testsupport::ScratchHome home;
    const QString log = home.file("comms.log");
    PtyPair pty;
    TComm32 comm;
    Received got;
};

const QByteArray BasicRequest("\x83\x0A\x00\x00", 4);
const QByteArray ChargeRequest("\x83\x06\x00\x00", 4);

QByteArray ExpectedAnswer(const varnosim::TImage& image, const varnosim::TRegion& region) {
    const auto line = varnosim::AnswerLineBytes(image, region);
    return QByteArray(reinterpret_cast<const char*>(line.data()), qsizetype(line.size()));
}

} // namespace

TEST(Comm32Receive, AnswerBurstArrivesAsOneZeroTerminatedBlock) {
    SimFixture f;
    TComm32 comm;
    comm.SetCommPort(QString::fromStdString(f.sim.DevicePath()));
    Received got;
    got.bind(comm);
    comm.OpenPort();
    ASSERT_TRUE(comm.SendData(BasicRequest));
    ASSERT_TRUE(WaitUntil([&] { return !got.blocks.empty(); }));
    QTest::qWait(300); // a second block would show up here
    ASSERT_EQ(got.blocks.size(), 1u);
    EXPECT_EQ(got.blocks[0].size(), 152);
    EXPECT_TRUE(got.zeroTerminated[0]);
    EXPECT_EQ(got.blocks[0], ExpectedAnswer(f.sim.ImageSnapshot(), varnosim::BasicRegion));
}

TEST(Comm32Receive, PauseLongerThanReadTimeoutSplitsTheBlock) {
    varnosim::TVarnoDevice device;
    device.Faults().pauseAfter = 80;
    device.Faults().pauseMs = 200;
    SimFixture f(std::move(device));
    TComm32 comm;
    comm.SetCommPort(QString::fromStdString(f.sim.DevicePath()));
    Received got;
    got.bind(comm);
    comm.OpenPort();
    comm.SendData(BasicRequest);
    ASSERT_TRUE(WaitUntil([&] { return got.blocks.size() >= 2; }));
    EXPECT_EQ(got.blocks[0].size(), 80);
    EXPECT_EQ(got.blocks[1].size(), 72);
    EXPECT_TRUE(got.zeroTerminated[0] && got.zeroTerminated[1]);
}

TEST(Comm32Receive, BackToBackRequestsArriveCompleteAndInOrder) {
    SimFixture f;
    TComm32 comm;
    comm.SetCommPort(QString::fromStdString(f.sim.DevicePath()));
    Received got;
    got.bind(comm);
    comm.OpenPort();
    comm.SendData(BasicRequest);
    comm.SendData(ChargeRequest);
    ASSERT_TRUE(WaitUntil([&] { return got.all().size() >= 151 + 176; }));
    const auto image = f.sim.ImageSnapshot();
    EXPECT_EQ(got.all(), ExpectedAnswer(image, varnosim::BasicRegion) +
                             ExpectedAnswer(image, varnosim::ChargeRegion));
}

TEST_F(Comm32OnPty, LongInputIsCutAtTheReadBufferSize) {
    comm.OpenPort();
    QByteArray input(3000, 'x');
    for (int i = 0; i < input.size(); ++i)
        input[i] = char(i * 7);
    pty.write(input);
    ASSERT_TRUE(WaitUntil([&] { return got.all().size() >= 3000; }));
    ASSERT_EQ(got.blocks.size(), 2u);
    EXPECT_EQ(got.blocks[0].size(), 2048);
    EXPECT_EQ(got.blocks[1].size(), 952);
    EXPECT_EQ(got.all(), input);
}

TEST_F(Comm32OnPty, InjectedLineErrorsAreReportedAsText) {
    auto line = std::make_shared<FakeLine>();
    comm.SetLineAccess(line);
    comm.OpenPort();

    line->add(1, 1, 0);
    pty.write("A");
    ASSERT_TRUE(WaitUntil([&] { return got.blocks.size() >= 2; }));
    EXPECT_EQ(got.blocks[0], QByteArray("Comm Event: CE_FRAME and CE_OVERRUN, EvtMask = 10"));
    EXPECT_TRUE(got.zeroTerminated[0]);
    EXPECT_EQ(got.blocks[1], QByteArray("A")); // the reader goes on

    line->add(0, 0, 1);
    pty.write("B");
    ASSERT_TRUE(WaitUntil([&] { return got.blocks.size() >= 4; }));
    EXPECT_EQ(got.blocks[2], QByteArray("Comm Event: CE_RXPARITY, EvtMask = 4"));
    EXPECT_EQ(got.blocks[3], QByteArray("B"));
}

TEST_F(Comm32OnPty, AnOwnerCanKeepLineErrorsOutOfTheAnswers) {
    auto line = std::make_shared<FakeLine>();
    comm.SetLineAccess(line);
    comm.SetCommsLogFileName(home.file("comms.log"));
    QStringList reports;
    comm.OnLineError = [&](const QString& report) { reports << report; };
    comm.OpenPort();

    line->add(1, 0, 0);
    pty.write("answer");
    ASSERT_TRUE(WaitUntil([&] { return !got.blocks.empty() && !reports.empty(); }));
    EXPECT_EQ(got.blocks, std::vector<QByteArray>({QByteArray("answer")}));
    EXPECT_EQ(reports, QStringList({"Comm Event: CE_FRAME, EvtMask = 8"}));
    comm.ClosePort();
    EXPECT_TRUE(LogTexts(home.file("comms.log")).contains("Comm Event: CE_FRAME, EvtMask = 8"));
}

TEST(Comm32Receive, LineErrorDescriptions) {
    EXPECT_EQ(serial::LineErrorReport(8), "Comm Event: CE_FRAME, EvtMask = 8");
    EXPECT_EQ(serial::LineErrorReport(1), "Comm Event: EV_ERR Unknown EvtMask, EvtMask = 1");
    EXPECT_EQ(serial::LineErrorReport(0), "Comm Event: NULL Error, EvtMask = 0");
    EXPECT_EQ(serial::DescribeLineErrors(8 | 4 | 2 | 16),
              "CE_FRAME and CE_OVERRUN and CE_RXPARITY and EV_ERR Unknown EvtMask");
    serial::TLineErrorCounters before, after;
    after.bufOverrun = 3;
    after.brk = 1;
    EXPECT_EQ(serial::LineErrorFlags(before, after), 1u | 16u);
}

TEST_F(Comm32OnPty, HangupEndsTheReaderWithOneNotification) {
    comm.SetCommsLogFileName(log);
    comm.OpenPort();
    pty.closeMaster();
    ASSERT_TRUE(WaitUntil([&] { return got.hangups > 0; }));
    QTest::qWait(300); // a spinning reader would keep posting
    EXPECT_EQ(got.hangups, 1);
    const QStringList texts = LogTexts(log);
    EXPECT_TRUE(texts.contains(QString::fromLatin1(serial::InvalidHandleLine)));
    EXPECT_EQ(texts.count(QStringLiteral("Read thread shutting down")), 1);
    comm.ClosePort();
    EXPECT_FALSE(comm.IsOpen());
}

TEST(Comm32Write, RequestsAreWrittenInOrderAndEmptyOnesWriteNothing) {
    PtyPair pty;
    TComm32 comm;
    comm.SetCommPort(pty.devicePath());
    comm.OpenPort();
    QByteArray expected;
    for (int i = 0; i < 60; ++i) {
        QByteArray chunk(1 + (i % 7) * 50, char('a' + i % 26));
        expected += chunk;
        ASSERT_TRUE(comm.SendData(chunk));
        ASSERT_TRUE(comm.SendData(nullptr, 0));
    }
    EXPECT_EQ(pty.read(int(expected.size()) + 1, 1000), expected);
    EXPECT_FALSE(comm.SendData("x", -1));
}

TEST_F(Comm32OnPty, AShortWriteGoesOnWhereItStopped) {
    comm.OpenPort();
    // More than the pseudo-terminal holds: every write() takes only a part.
    QByteArray block(60000, '\0');
    for (int i = 0; i < block.size(); ++i)
        block[i] = char((i * 7 + i / 251) % 253);
    ASSERT_TRUE(comm.SendData(block));
    EXPECT_EQ(pty.read(int(block.size()), 20000), block);
}

TEST_F(Comm32OnPty, PacedBytesKeepTheirGapWhenTheWriterWasHeldUp) {
    std::mutex lock;
    std::condition_variable changed;
    bool release = false;
    std::vector<std::chrono::steady_clock::time_point> leaving;
    comm.SetPacedWriteHook([&] {
        std::unique_lock guard(lock);
        if (leaving.empty()) // held up on the first byte until the rest are queued
            changed.wait(guard, [&] { return release; });
        leaving.push_back(std::chrono::steady_clock::now());
    });
    comm.OpenPort();
    for (char byte : QByteArray("\x03\x07\x01\x02\x81"))
        ASSERT_TRUE(comm.SendPaced(byte));
    {
        std::lock_guard guard(lock);
        release = true;
    }
    changed.notify_all();
    EXPECT_EQ(pty.read(5, 5000), QByteArray("\x03\x07\x01\x02\x81"));
    std::lock_guard guard(lock);
    ASSERT_EQ(leaving.size(), 5u);
    // Each byte is written after its hook returned, and the next waits from then on.
    for (size_t i = 1; i < leaving.size(); ++i)
        EXPECT_GE(leaving[i] - leaving[i - 1], std::chrono::milliseconds(45)) << i;
}

TEST(Comm32Write, SendDataWithoutWriterFailsAndLogs) {
    testsupport::ScratchHome home;
    TComm32 comm;
    comm.SetCommsLogFileName(home.file("comms.log"));
    EXPECT_FALSE(comm.SendData("abc", 3));
    EXPECT_EQ(LogTexts(home.file("comms.log")), QStringList{"Write thread not created"});
}

TEST(Comm32Open, LogStartsWithSettingsAndThreadLines) {
    testsupport::ScratchHome home;
    const QString log = home.file("comms.log");
    PtyPair pty;
    TComm32 comm;
    comm.SetPortLookup([&](const QString& key) -> std::optional<QString> {
        if (key == "COM2")
            return pty.devicePath();
        return std::nullopt;
    });
    comm.SetCommsLogFileName(log);
    EXPECT_TRUE(comm.OpenPort());
    const QStringList lines = ReadLogLines(log);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines[0].mid(10), "Port COM2, Bytesize 8, Parity 0, StopBits 0, Flags 4097");
    const QStringList texts = LogTexts(log);
    ASSERT_TRUE(texts.contains("Read thread created"));
    EXPECT_LT(texts.indexOf("Read thread created"), texts.indexOf("Write thread created"));
    const QRegularExpression stamp(QStringLiteral("^([01]\\d|2[0-3]):[0-5]\\d:[0-5]\\d  \\S"));
    for (const QString& line : lines)
        EXPECT_TRUE(stamp.match(line).hasMatch()) << line.toStdString();
}

TEST(Comm32Open, OpenErrorsKeepTheComponentUsable) {
    testsupport::ScratchHome home;
    PtyPair pty;
    TComm32 comm;

    comm.SetCommPort(home.file("missing-device"));
    EXPECT_THROW(
        try { comm.OpenPort(); } catch (const ECommsError& e) {
            EXPECT_STREQ(e.what(), "Error opening com port");
            throw;
        },
        ECommsError);

    const QString plain = home.file("plain.txt");
    testsupport::writeAll(plain, "data");
    comm.SetCommPort(plain);
    try {
        comm.OpenPort();
        ADD_FAILURE() << "an ordinary file was opened";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "File handle is not a comm handle. ");
    }
    EXPECT_FALSE(comm.IsOpen());
    const int fd = ::open(plain.toLocal8Bit().constData(), O_RDONLY);
    EXPECT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0) << "the file was not released";
    ::close(fd);

    comm.SetCommPort(QStringLiteral("/dev/null"));
    try {
        comm.OpenPort();
        ADD_FAILURE() << "/dev/null was opened";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "File handle is not a comm handle. ");
    }

    comm.SetCommPort(pty.devicePath());
    EXPECT_TRUE(comm.OpenPort());
    try {
        comm.OpenPort();
        ADD_FAILURE() << "opened twice";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Already have a comm file open");
    }
    EXPECT_TRUE(comm.IsOpen());

    TComm32 other;
    other.SetCommPort(pty.devicePath());
    try {
        other.OpenPort();
        ADD_FAILURE() << "a port held by another component was opened";
    } catch (const ECommsError& e) {
        EXPECT_STREQ(e.what(), "Error opening com port");
    }
    comm.ClosePort();
    EXPECT_TRUE(other.OpenPort());
}

TEST(Comm32Open, LineSettingsAndModemLines) {
    PtyPair pty;
    auto line = std::make_shared<FakeLine>();
    TComm32 comm;
    comm.SetCommPort(pty.devicePath());
    comm.SetLineAccess(line);
    comm.OpenPort();
    termios tio{};
    ASSERT_EQ(::tcgetattr(pty.master(), &tio), 0);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS8));
    EXPECT_EQ(tio.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_EQ(tio.c_iflag & (IXON | IXOFF | INPCK), 0u);
    EXPECT_EQ(::cfgetospeed(&tio), speed_t(B9600));
    EXPECT_EQ(tio.c_lflag & (ICANON | ECHO), 0u);
    EXPECT_EQ(line->rts.load(), 1);
    EXPECT_EQ(line->dtr.load(), 0);
    comm.ClosePort();

    comm.SetFlags(1 | (1 << 4)); // DTR enabled, RTS disabled
    comm.OpenPort();
    EXPECT_EQ(line->rts.load(), 0);
    EXPECT_EQ(line->dtr.load(), 1);
}

// A pseudo-terminal forces 8N1, so the other settings are checked on termios alone.
TEST(Comm32Open, LocalLineAndStopBits) {
    termios tio{};
    serial::ApplyLineSettings(tio, TBaudrate::bd_9600, 8, TParity::none, TStopbits::Stopbit1, 4097);
    // A three-wire cable has no carrier: without CLOCAL the port would wait for one.
    EXPECT_EQ(tio.c_cflag & (CLOCAL | CREAD | CSTOPB), tcflag_t(CLOCAL | CREAD));
    // termios has no 1.5 stop bits: the UART sends 2 (1.5 with five data bits).
    serial::ApplyLineSettings(tio, TBaudrate::bd_9600, 8, TParity::none, TStopbits::Stopbit15,
                              4097);
    EXPECT_EQ(tio.c_cflag & CSTOPB, tcflag_t(CSTOPB));
}

TEST(Comm32Open, OtherLineSettingsMapOntoTermios) {
    termios tio{};
    serial::ApplyLineSettings(tio, TBaudrate::bd_19200, 7, TParity::odd, TStopbits::Stopbit2,
                              0x1001 | 0x0002 | 0x0100);
    EXPECT_EQ(tio.c_cflag & CSIZE, tcflag_t(CS7));
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB),
              tcflag_t(PARENB | PARODD | CSTOPB));
    EXPECT_EQ(tio.c_iflag & (INPCK | IXON | IXOFF), tcflag_t(INPCK | IXON));
    EXPECT_EQ(::cfgetospeed(&tio), speed_t(B19200));
    serial::ApplyLineSettings(tio, TBaudrate::bd_300, 8, TParity::space, TStopbits::Stopbit1,
                              0x2001);
    EXPECT_EQ(tio.c_cflag & (PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS),
              tcflag_t(PARENB | CMSPAR | CRTSCTS));
    EXPECT_EQ(::cfgetispeed(&tio), speed_t(B300));
}

TEST_F(Comm32OnPty, ClosingIdleEndsBothThreadsPromptly) {
    comm.SetCommsLogFileName(log);
    comm.ClosePort(); // closed: nothing happens
    EXPECT_TRUE(ReadLogLines(log).isEmpty());
    comm.OpenPort();
    QElapsedTimer timer;
    timer.start();
    comm.ClosePort();
    EXPECT_LT(timer.elapsed(), 5000);
    const QStringList texts = LogTexts(log);
    for (const char* text :
         {"Stopping the Comm", "Closing Read Thread ", "Read thread shutting down",
          "Closing Write Thread", "Write thread shutting down"})
        EXPECT_TRUE(texts.contains(QString::fromLatin1(text))) << text;
    EXPECT_FALSE(texts.contains("Read thread not exiting.  Terminating it."));
    QTest::qWait(50);
    EXPECT_EQ(got.hangups, 0);
}

TEST_F(Comm32OnPty, ClosingWhileAWriteIsStalledEndsTheWriter) {
    // The master never reads, so the writer stalls on back-pressure.
    comm.SetCommsLogFileName(log);
    comm.OpenPort();
    ASSERT_TRUE(comm.SendData(QByteArray(60000, 'w')));
    ASSERT_TRUE(comm.SendData(QByteArray(10, 'z')));
    QTest::qWait(200);
    QElapsedTimer timer;
    timer.start();
    comm.ClosePort();
    EXPECT_LT(timer.elapsed(), 5000);
    const QStringList texts = LogTexts(log);
    EXPECT_EQ(texts.count("Writing to comm port"), 1);
    EXPECT_TRUE(texts.contains("Write thread shutting down"));
    EXPECT_FALSE(texts.contains("Write thread not exiting.  Terminating it."));
    QTest::qWait(50);
    EXPECT_EQ(got.hangups, 0);
}

TEST_F(Comm32OnPty, InputIsFlushedAtOpenAndOnRequest) {
    auto line = std::make_shared<FakeLine>();
    comm.SetLineAccess(line);
    // The test holds the device end open itself to see what waits in its queue.
    const int watcher = ::open(pty.devicePath().toLocal8Bit().constData(),
                               O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(watcher, 0);
    termios tio{};
    ::tcgetattr(watcher, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(watcher, TCSANOW, &tio);
    auto waiting = [&] {
        int n = -1;
        ::ioctl(watcher, FIONREAD, &n);
        return n;
    };
    pty.write("stale");
    ASSERT_TRUE(WaitUntil([&] { return waiting() == 5; }));
    comm.OpenPort();
    EXPECT_EQ(waiting(), 0);
    pty.write("fresh");
    ASSERT_TRUE(WaitUntil([&] { return !got.blocks.empty(); }));
    EXPECT_EQ(got.blocks, std::vector<QByteArray>{"fresh"});
    ::close(watcher);

    // Bytes the reader holds or has posted when the input is flushed never arrive,
    // whichever of the two they are by then. No events run until the flush.
    comm.ClosePort();
    comm.SetReadTimeout(20);
    comm.OpenPort();
    got.blocks.clear();
    const long before = line->taken;
    pty.write("old");
    while (line->taken < before + 3)
        QThread::msleep(1);
    comm.FlushInput();
    pty.write("new");
    ASSERT_TRUE(WaitUntil([&] { return !got.blocks.empty(); }));
    QTest::qWait(100);
    EXPECT_EQ(got.blocks, std::vector<QByteArray>{"new"});
}

TEST_F(Comm32OnPty, BytesJustBeforeAHangUpAreDelivered) {
    auto line = std::make_shared<FakeLine>();
    comm.SetLineAccess(line);
    comm.SetReadTimeout(10000); // held by the reader until the hang-up ends its read
    comm.OpenPort();
    pty.write("tail");
    ASSERT_TRUE(WaitUntil([&] { return line->taken >= 4; }));
    pty.closeMaster();
    ASSERT_TRUE(WaitUntil([&] { return got.hangups > 0; }));
    EXPECT_EQ(got.blocks, std::vector<QByteArray>{"tail"});
}

TEST_F(Comm32OnPty, BlockPostedBeforeCloseIsStillDelivered) {
    comm.SetReadTimeout(20);
    comm.OpenPort();
    pty.write("late");
    // Let the reader post without the GUI thread taking the event yet.
    QThread::msleep(300);
    comm.ClosePort();
    EXPECT_TRUE(got.blocks.empty());
    ASSERT_TRUE(WaitUntil([&] { return !got.blocks.empty(); }));
    EXPECT_EQ(got.blocks[0], QByteArray("late"));
}

// The owner's thread can take a posted block without the event loop ever waking
// for it (it was awake anyway); the block must still be seen whole. Under
// ThreadSanitizer this is the hand-off it cannot see inside Qt.
TEST_F(Comm32OnPty, BlockTakenWithoutAWakeUpArrivesWhole) {
    auto line = std::make_shared<FakeLine>();
    comm.SetLineAccess(line);
    QStringList reports;
    comm.OnLineError = [&](const QString& report) { reports << report; };
    comm.OpenPort();
    for (int round = 0; round < 3; ++round) {
        line->add(0, 1, 0);
        pty.write("block" + QByteArray::number(round));
        const auto wanted = size_t(round + 1);
        for (int waited = 0; waited < 5000 && got.blocks.size() < wanted; waited += 50) {
            QThread::msleep(50);
            QCoreApplication::sendPostedEvents();
        }
        ASSERT_EQ(got.blocks.size(), wanted);
        EXPECT_EQ(got.blocks[size_t(round)], "block" + QByteArray::number(round));
        EXPECT_TRUE(got.zeroTerminated[size_t(round)]);
        ASSERT_EQ(reports.size(), round + 1);
        EXPECT_EQ(reports.back(), "Comm Event: CE_OVERRUN, EvtMask = 2");
    }
}

TEST(Comm32Close, ThousandOpenCloseCyclesLeaveNothingBehind) {
    PtyPair pty;
    TComm32 comm;
    comm.SetCommPort(pty.devicePath());
    {
        comm.OpenPort(); // warm-up: first use allocates process-wide state
        comm.ClosePort();
    }
    const int fds = CountEntries("/proc/self/fd");
    const int tasks = CountEntries("/proc/self/task");
    for (int i = 0; i < 1000; ++i) {
        comm.OpenPort();
        if (i % 100 == 0) {
            ASSERT_TRUE(comm.SendData("ping", 4));
        }
        comm.ClosePort();
    }
    pty.read(1000, 200);
    EXPECT_EQ(CountEntries("/proc/self/fd"), fds);
    EXPECT_EQ(CountEntries("/proc/self/task"), tasks);
}

TEST_F(Comm32OnPty, ReceivedBytesAreDumpedInLinesOfTwenty) {
    comm.SetCommsLogFileName(log);
    comm.OpenPort();
    QByteArray input;
    for (int i = 0; i < 25; ++i)
        input += char(0xF0 + i % 16);
    pty.write(input);
    ASSERT_TRUE(WaitUntil([&] { return !got.blocks.empty(); }));
    EXPECT_EQ(got.blocks[0], input);
    const QStringList texts = LogTexts(log);
    EXPECT_TRUE(texts.contains("Got something from Comm port: 25 Byte"));
    const qsizetype first =
        texts.indexOf("F0 F1 F2 F3 F4 F5 F6 F7 F8 F9 FA FB FC FD FE FF F0 F1 F2 F3 ");
    ASSERT_GE(first, 0);
    EXPECT_EQ(texts.value(first + 1), "F4 F5 F6 F7 F8 ");
    EXPECT_GT(texts.lastIndexOf("Waiting for data from comm connection."),
              texts.indexOf("Got something from Comm port: 25 Byte"));
}

TEST(CommsLog, LinesFromManyThreadsNeverInterleave) {
    testsupport::ScratchHome home;
    const QString log = home.file("comms.log");
    serial::SetCommsLogName(log);
    serial::OpenCommsLog();
    std::vector<std::thread> writers;
    for (int t = 0; t < 4; ++t)
        writers.emplace_back([t] {
            const std::string text =
                "thread " + std::to_string(t) + std::string(200, static_cast<char>('a' + t));
            for (int i = 0; i < 200; ++i)
                serial::CommLog(text);
        });
    for (auto& w : writers)
        w.join();
    serial::LogSystemError("Unable to CreateEvent: ", ENOENT);
    serial::CloseCommsLog();
    serial::SetCommsLogName(QString());
    const QStringList texts = LogTexts(log);
    ASSERT_EQ(texts.size(), 801);
    const QRegularExpression whole(QStringLiteral("^thread ([0-3])(a{200}|b{200}|c{200}|d{200})$"));
    for (int i = 0; i < 800; ++i)
        EXPECT_TRUE(whole.match(texts[i]).hasMatch()) << i;
    EXPECT_EQ(texts[800], "Unable to CreateEvent: GetLastError returned: \"No such file or "
                          "directory\"");
}

// A writer that cannot start must not hang OpenPort nor leave the port half-open.
TEST_F(Comm32OnPty, WriterThatNeverGetsReadyFailsTheOpen) {
    comm.SetCommsLogFileName(log);
    serial::OpenCommsLog(); // the log's own descriptor exists before the limit is set

    // Leave exactly two free descriptors: the port and the close event; the
    // writer's queue event then fails.
    int freeSeen = 0, limit = 0;
    for (int fd = 0; freeSeen < 2; ++fd) {
        if (::fcntl(fd, F_GETFD) < 0)
            ++freeSeen;
        limit = fd + 1;
    }
    rlimit old{};
    ::getrlimit(RLIMIT_NOFILE, &old);
    rlimit tight = old;
    tight.rlim_cur = rlim_t(limit);
    ::setrlimit(RLIMIT_NOFILE, &tight);
    std::string error;
    QElapsedTimer timer;
    timer.start();
    try {
        comm.OpenPort();
    } catch (const ECommsError& e) {
        error = e.what();
    }
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(error, "Unable to create Write thread");
    EXPECT_LT(timer.elapsed(), TComm32::WriterReadyTimeoutMs);
    EXPECT_FALSE(comm.IsOpen());
    const QStringList texts = LogTexts(log);
    ASSERT_FALSE(texts
                     .filter("Unable to CreateEvent: GetLastError returned: \"Too many open "
                             "files\"")
                     .isEmpty());
    EXPECT_TRUE(texts.contains("Read thread shutting down"));
    EXPECT_TRUE(comm.OpenPort()); // the port was released
}

TEST(Comm32Open, FailuresSayWhy) {
    testsupport::ScratchHome home;
    PtyPair pty, vanished;
    const QString gone = vanished.devicePath();
    vanished.closeMaster();
    const QString plain = home.file("plain.txt");
    testsupport::writeAll(plain, "data");
    const QDateTime written = QFileInfo(plain).lastModified();
    // Another program holding the port the way cooperating programs do.
    const int holder = ::open(pty.devicePath().toLocal8Bit().constData(), O_RDWR | O_NOCTTY);
    ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
    struct Case {
        QString device;
        serial::TPortFailure failure;
        int error;
        const char* text;
    };
    const Case cases[] = {
        {home.path(), serial::TPortFailure::NotSerial, EISDIR,
         "File handle is not a comm handle. "},
        {plain, serial::TPortFailure::NotSerial, ENOTTY, "File handle is not a comm handle. "},
        {"/dev/null", serial::TPortFailure::NotSerial, ENOTTY,
         "File handle is not a comm handle. "},
        {home.file("missing"), serial::TPortFailure::NoDevice, ENOENT, "Error opening com port"},
        {gone, serial::TPortFailure::NoDevice, ENOENT, "Error opening com port"},
        {"/dev/" + QString(5000, 'a'), serial::TPortFailure::Other, ENAMETOOLONG,
         "Error opening com port"},
        {pty.devicePath(), serial::TPortFailure::Busy, EWOULDBLOCK, "Error opening com port"},
    };
    TComm32 comm;
    for (const Case& c : cases) {
        const std::string name = c.device.left(60).toStdString();
        comm.SetCommPort(c.device);
        try {
            comm.OpenPort();
            ADD_FAILURE() << "opened " << name;
        } catch (const ECommsError& e) {
            EXPECT_STREQ(e.what(), c.text) << name;
            EXPECT_EQ(e.Failure(), c.failure) << name;
            EXPECT_EQ(e.Errno(), c.error) << name;
            EXPECT_EQ(e.Device(), c.device) << name;
        }
        EXPECT_EQ(comm.LastFailure(), c.failure) << name;
        EXPECT_FALSE(comm.IsOpen());
    }
    EXPECT_EQ(testsupport::readAll(plain), "data");
    EXPECT_EQ(QFileInfo(plain).lastModified(), written) << "nothing written to a plain file";
    ::close(holder);
    EXPECT_TRUE(comm.OpenPort());
    EXPECT_EQ(comm.LastFailure(), serial::TPortFailure::None);
}

// Qt's serial module does the same: an adapter shared with other programs is left as found.
TEST(Comm32Close, LineSettingsAreRestored) {
    PtyPair pty;
    termios before{};
    ASSERT_EQ(::tcgetattr(pty.master(), &before), 0);
    before.c_cflag = (before.c_cflag & ~tcflag_t(CSIZE)) | CS7 | PARENB | HUPCL;
    before.c_lflag |= ICANON | ECHO;
    before.c_iflag |= IXON;
    before.c_cc[VMIN] = 5;
    ::cfsetispeed(&before, B4800);
    ::cfsetospeed(&before, B4800);
    ASSERT_EQ(::tcsetattr(pty.master(), TCSANOW, &before), 0);
    ASSERT_EQ(::tcgetattr(pty.master(), &before), 0);

    TComm32 comm;
    comm.SetCommPort(pty.devicePath());
    comm.OpenPort();
    termios open{};
    ASSERT_EQ(::tcgetattr(pty.master(), &open), 0);
    EXPECT_EQ(open.c_lflag & ICANON, 0u) << "the component's own settings while open";
    comm.ClosePort();

    termios after{};
    ASSERT_EQ(::tcgetattr(pty.master(), &after), 0);
    EXPECT_EQ(0, std::memcmp(&after, &before, sizeof after)) << "every flag, character and speed";
}

TEST_F(Comm32OnPty, AnExistingLogIsAppendedTo) {
    testsupport::writeAll(log, "12:00:00  an earlier run\r\n");
    comm.SetCommsLogFileName(log);
    comm.OpenPort();
    comm.ClosePort();
    const QStringList texts = LogTexts(log);
    ASSERT_GE(texts.size(), 3);
    EXPECT_EQ(texts[0], "an earlier run");
    EXPECT_EQ(texts[1],
              "Port " + pty.devicePath() + ", Bytesize 8, Parity 0, StopBits 0, Flags 4097");
}
