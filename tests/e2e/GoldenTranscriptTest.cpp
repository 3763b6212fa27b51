// Hand-written line transcripts in tests/golden, replayed through the real serial
// component on a pseudo-terminal: they pin the protocol apart from the simulator,
// which is a second copy of the same rules.
#include "E2eFixture.h"

#include <QDir>
#include <QFile>
#include <QLabel>
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
    bool heardAtLeast(qsizetype count, int timeoutMs) {
        return QTest::qWaitFor(
            [&] {
                listen();
                return heard.size() >= count;
            },
            timeoutMs);
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
        qsizetype checked = 0;
        for (const Step& step : t.steps) {
            SCOPED_TRACE("line " + std::to_string(step.line));
            switch (step.kind) {
            case Step::Sent:
                ASSERT_TRUE(heardAtLeast(checked + step.bytes.size(), kWaitMs))
                    << "heard " << heard.mid(checked).toHex(' ').toStdString();
                EXPECT_EQ(heard.mid(checked, step.bytes.size()).toHex(' '), step.bytes.toHex(' '));
                checked += step.bytes.size();
                break;
            case Step::Answer:
                ASSERT_EQ(::write(master, step.bytes.constData(), size_t(step.bytes.size())),
                          step.bytes.size());
                break;
            case Step::Action:
                // A button is pressed once the transfer before it has ended.
                ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Transfer->Busy(); }, kWaitMs));
                if (step.action == "Lesen")
                    QTimer::singleShot(0, w.get(), [this] { w->LesenButtonClick(); });
                else if (step.action == "Schreiben")
                    QTimer::singleShot(0, w.get(), [this] { w->OnSchreibenClick(); });
                else
                    FAIL() << "no such action " << step.action.toStdString();
                break;
            case Step::Quiet:
                ASSERT_TRUE(QTest::qWaitFor([&] { return !w->Transfer->Busy(); }, kWaitMs));
                QTest::qWait(300); // longer than the reader's pause that ends a block
                listen();
                EXPECT_EQ(heard.mid(checked).toHex(' '), QByteArray()) << "nothing more";
                break;
            }
        }
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
