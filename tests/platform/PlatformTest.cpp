#include "platform/DisplayServer.h"
#include "platform/EndSignals.h"
#include "platform/FileCopy.h"
#include "platform/HelpFile.h"
#include "platform/ProgramFiles.h"
#include "platform/SingleInstance.h"
#include "support/TestSupport.h"

#include <QFileInfo>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace platform;
using testsupport::ScratchHome;

TEST(SingleInstanceGuard, SecondGuardSeesTheFirstUntilItIsGone) {
    ScratchHome home;
    const QString title = QStringLiteral("Varno KM20/KM50 - Konfiguration");
    EXPECT_EQ(QFileInfo(SingleInstance::LockPath(title)).dir().path(), home.path());
    EXPECT_FALSE(SingleInstance::LockPath(title).section('/', -1).contains("KM20/"));
    {
        const SingleInstance first(title);
        EXPECT_FALSE(first.alreadyRunning());
        const SingleInstance second(title);
        EXPECT_TRUE(second.alreadyRunning());
        const SingleInstance other(QStringLiteral("another title"));
        EXPECT_FALSE(other.alreadyRunning());
    }
    const SingleInstance later(title);
    EXPECT_FALSE(later.alreadyRunning()) << "the lock dies with its holder";
}

TEST(HelpTopics, FoundByExactIdWithNestedElements) {
    const QString html = QStringLiteral(
        "<p id=\"10\">ten</p><div class=\"topic\" id=\"100\"><div>inner</div> end</div>"
        "<div id='1000'>thousand</div>");
    EXPECT_EQ(HelpFile::TopicIn(html, 10), "ten");
    EXPECT_EQ(HelpFile::TopicIn(html, 100), "<div>inner</div> end");
    EXPECT_EQ(HelpFile::TopicIn(html, 1000), "thousand");
    EXPECT_TRUE(HelpFile::TopicIn(html, 101).isEmpty());
    EXPECT_TRUE(HelpFile(QStringLiteral("/nonexistent.hlp")).topic(100).isEmpty());
}

TEST(HelpTopics, TheShippedHelpFileHasEveryContext) {
    const HelpFile help(qEnvironmentVariable("WINVARNO_SOURCE_DIR") + "/assets/WinVarno.hlp");
    ASSERT_FALSE(help.document().isEmpty());
    for (int context = 100; context <= 120; ++context) {
        const QString topic = help.topic(context);
        EXPECT_TRUE(topic.contains("<h3>")) << context;
        EXPECT_FALSE(topic.contains("class=\"topic\""))
            << "topic " << context << " swallowed the next";
    }
}

TEST(ProgramFileNames, CompanionsBesideOrInDataHome) {
    EXPECT_EQ(programfiles::BesideProgram("/opt/wv/WinVarno", ".hlp"), "/opt/wv/WinVarno.hlp");
    EXPECT_EQ(programfiles::BesideProgram("/opt/wv/WinVarno.bin", ".dat"), "/opt/wv/WinVarno.dat");
    ScratchHome home;
    EXPECT_EQ(programfiles::DataFile(home.file("WinVarno"), ".dat"), home.file("WinVarno.dat"));
    // A directory we cannot write to (here: one that does not exist).
    EXPECT_EQ(programfiles::DataFile("/nonexistent/lib/WinVarno", ".bak"),
              home.path() + "/WinVarno/WinVarno.bak");
}

TEST(FileCopyBytes, CopiesExactlyAndFailsWithoutSource) {
    ScratchHome home;
    QByteArray bytes;
    for (int i = 0; i < 200000; ++i)
        bytes.append(char(i * 7));
    testsupport::writeAll(home.file("a.dat"), bytes);
    testsupport::writeAll(home.file("a.bak"), "old");
    ASSERT_TRUE(CopyFileBytes(home.file("a.dat"), home.file("a.bak")));
    EXPECT_EQ(testsupport::readAll(home.file("a.bak")), bytes);
    EXPECT_FALSE(CopyFileBytes(home.file("missing"), home.file("a.bak")));
    EXPECT_EQ(testsupport::readAll(home.file("a.bak")), bytes);
}

TEST(DisplayServer, XWaylandInsideAWaylandSessionUnlessTheUserChose) {
    EXPECT_EQ(PreferredQpaPlatform("", "wayland-0", ":0"), "xcb;wayland");
    EXPECT_EQ(PreferredQpaPlatform("wayland", "wayland-0", ":0"), "") << "the user's choice";
    EXPECT_EQ(PreferredQpaPlatform("", "wayland-0", ""), "") << "Wayland alone";
    EXPECT_EQ(PreferredQpaPlatform("", "", ":0"), "") << "an X11 session";
}

// A program stuck where no event is handled still ends after a signal: the child
// takes SIGTERM and then never returns to an event loop.
TEST(EndSignals, AStuckProgramEndsByTheDeadline) {
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        TEndSignals ends;
        ends.EndWithin(100);
        ::raise(SIGTERM);
        for (;;)
            ::pause();
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status)) << "killed instead of ending";
    EXPECT_EQ(WEXITSTATUS(status), 128 + SIGTERM);
}
