// Hand-written line transcripts in tests/golden, replayed through the real serial
// component on a pseudo-terminal: they pin the protocol apart from the simulator,
// which is a second copy of the same rules.
#include "E2eFixture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace {

struct Step {
    enum Kind { Sent, Answer, Action, Quiet } kind;
    QByteArray bytes;
    QString action;
    int line = 0;
};

struct Transcript {
    std::vector<Step> steps;
    std::vector<std::pair<QString, QString>> expected; // control name, its text
};

QByteArray Hex(const QString& text, bool* ok) {
    const QByteArray bytes = QByteArray::fromHex(text.toLatin1());
    *ok = bytes.size() * 3 - 1 == text.trimmed().size();
    return bytes;
}

// "> hex" bytes the program sends; "< hex" one group of an answer, consecutive ones
// going out as one burst; "@ Lesen|Schreiben" a button; "." nothing more is sent;
// "= Name text" a control's text afterwards ("status": the status line's message).
Transcript Parse(const QString& path, QString* error) {
    QFile f(path);
    Transcript t;
    if (!f.open(QIODevice::ReadOnly)) {
        *error = "cannot read " + path;
        return t;
    }
    int number = 0;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        ++number;
        const QString line = QString::fromUtf8(raw);
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QChar kind = line[0];
        const QString rest = line.mid(2);
        bool ok = true;
        if (kind == u'>' || kind == u'<') {
            const QByteArray bytes = Hex(rest, &ok);
            const auto k = kind == u'>' ? Step::Sent : Step::Answer;
            if (!t.steps.empty() && t.steps.back().kind == k)
                t.steps.back().bytes += bytes;
            else
                t.steps.push_back({k, bytes, {}, number});
        } else if (kind == u'@') {
            t.steps.push_back({Step::Action, {}, rest, number});
        } else if (kind == u'.') {
            t.steps.push_back({Step::Quiet, {}, {}, number});
        } else if (kind == u'=') {
            const qsizetype space = rest.indexOf(u' ');
            t.expected.emplace_back(rest.left(space), space < 0 ? QString() : rest.mid(space + 1));
        } else {
            ok = false;
        }
        if (!ok) {
            *error = QString("%1:%2: cannot read \"%3\"").arg(path).arg(number).arg(line);
            return t;
        }
    }
    return t;
}

struct GoldenTranscript : E2eFixture {
    int master = -1;
    QByteArray heard; // everything the program sent so far
    void TearDown() override {
        E2eFixture::TearDown();
        if (master >= 0)
            ::close(master);
    }
    bool openLine(QString* slave) {
        master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
            return false;
        *slave = QString::fromLocal8Bit(::ptsname(master));
        return true;
    }
    void listen() {
        char buffer[512];
        ssize_t n;
        while ((n = ::read(master, buffer, sizeof buffer)) > 0)
            heard.append(buffer, n);
    }
};

TEST_F(GoldenTranscript, EveryTranscriptPlaysAsWritten) {
    const QDir dir(qEnvironmentVariable("WINVARNO_SOURCE_DIR") + "/tests/golden");
    const QStringList files = dir.entryList({"*.txt"}, QDir::Files, QDir::Name);
    ASSERT_GE(files.size(), 3);
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        QString error;
        const Transcript t = Parse(dir.filePath(name), &error);
        ASSERT_TRUE(error.isEmpty()) << error.toStdString();

        w.reset();
        if (master >= 0)
            ::close(master);
        heard.clear();
        QString slave;
        ASSERT_TRUE(openLine(&slave));
        ASSERT_NO_FATAL_FAILURE(openWindow(slave)); // its start-up sends the first request
        // The exchange's side plays from a timer, so it answers inside the program's
        // own event processing too (a write reads the counters in its middle).
        qsizetype checked = 0;
        size_t next = 0;
        QString fault;
        QTimer player;
        QObject::connect(&player, &QTimer::timeout, [&] {
            listen();
            while (next < t.steps.size() && fault.isEmpty()) {
                const Step& step = t.steps[next];
                const QString where = QString("line %1: ").arg(step.line);
                if (step.kind == Step::Sent) {
                    if (heard.size() < checked + step.bytes.size())
                        return;
                    if (heard.mid(checked, step.bytes.size()) != step.bytes)
                        fault = where + "heard " + heard.mid(checked, step.bytes.size()).toHex(' ');
                    checked += step.bytes.size();
                } else if (step.kind == Step::Answer) {
                    if (::write(master, step.bytes.constData(), size_t(step.bytes.size())) !=
                        step.bytes.size())
                        fault = where + "cannot answer";
                } else if (step.kind == Step::Action) {
                    if (w->Sitzung().Transfer().Busy()) // pressed once the transfer before it ended
                        return;
                    if (step.action == "Lesen")
                        QTimer::singleShot(0, w.get(), [this] { w->LesenButtonClick(); });
                    else if (step.action == "Schreiben")
                        QTimer::singleShot(0, w.get(), [this] { w->OnSchreibenClick(); });
                    else
                        fault = where + "no such action " + step.action;
                } else {
                    return; // "." is checked once the program has settled
                }
                ++next;
            }
        });
        player.start(5);
        const auto quiet = std::find_if(t.steps.begin(), t.steps.end(),
                                        [](const Step& s) { return s.kind == Step::Quiet; });
        const size_t until = size_t(quiet - t.steps.begin());
        ASSERT_TRUE(QTest::qWaitFor([&] { return next >= until || !fault.isEmpty(); }, 60000))
            << "stuck at line " << t.steps[next].line << ", heard "
            << heard.mid(checked).toHex(' ').toStdString();
        ASSERT_TRUE(fault.isEmpty()) << fault.toStdString();
        if (quiet != t.steps.end()) {
            ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Sitzung().Transfer().Busy(); }, kWaitMs));
            QTest::qWait(300); // longer than the reader's pause that ends a block
            listen();
            EXPECT_EQ(heard.mid(checked).toHex(' '), QByteArray()) << "nothing more";
        }
        player.stop();
        for (const auto& [control, text] : t.expected) {
            if (control == "status") {
                EXPECT_EQ(w->statusText(0).mid(2), text);
                continue;
            }
            auto* label = w->findChild<QLabel*>(control);
            ASSERT_NE(label, nullptr) << control.toStdString();
            EXPECT_EQ(label->text(), text) << control.toStdString();
        }
    }
}

} // namespace
