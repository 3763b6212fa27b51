#include "catalogue/Catalogue.h"

#include <cstring>
#include <gtest/gtest.h>

using catalogue::PanelText;
using catalogue::Text;

TEST(Catalogue, PanelTextCarriesSeverityAndArgument) {
    EXPECT_EQ(PanelText(0, 0, QString()), "0:");
    EXPECT_EQ(PanelText(27, 1, "23"), QString::fromUtf8("1:Anschluß 23 wird konfiguriert"));
    EXPECT_EQ(PanelText(5, 2, "COM3"),
              QString::fromUtf8("2:Schnittstelle COM3 kann nicht geöffnet werden"));
    EXPECT_EQ(PanelText(4, 2, "ignored"), "2:Kommunikationsfehler");
    EXPECT_EQ(PanelText(22, 2, "COMx"), QString::fromUtf8("2:Portadresse 'COMx' ist ungültig"));
}

TEST(Catalogue, ArgumentIsNeverTakenAsAFormat) {
    EXPECT_EQ(PanelText(32, 2, "/tmp/%s%d%1.vrn"),
              QString::fromUtf8("2:Datei /tmp/%s%d%1.vrn konnte nicht geöffnet werden"));
}

TEST(Catalogue, GapsAreEmptyAndPlaceholdersWhereExpected) {
    for (int n : {0, 23, 25, 34, 39, -1, 1000})
        EXPECT_TRUE(Text(n).isEmpty()) << n;
    for (int n : {5, 22, 24, 27, 32, 33, 36})
        EXPECT_EQ(Text(n).count("%s"), 1) << n;
    EXPECT_TRUE(Text(38).contains("%d"));
    for (int n = 1; n <= 38; ++n) {
        EXPECT_FALSE(Text(n).contains(QChar::ReplacementCharacter)) << n;
    }
}

TEST(Catalogue, OpenFailureReasonsShowThePathPrintableAndShort) {
    EXPECT_EQ(catalogue::OeffnungsGrund(serial::TPortFailure::Busy, "/dev/ttyS0", EBUSY),
              QString::fromUtf8("/dev/ttyS0 ist belegt: ein anderes Programm hält die "
                                "Schnittstelle"));
    // The system's own words where no message fits.
    const QString lang = catalogue::OeffnungsGrund(serial::TPortFailure::Other,
                                                   "/dev/\n" + QString(5000, 'a'), ENAMETOOLONG);
    EXPECT_TRUE(lang.startsWith("/dev/?aaa"));
    EXPECT_TRUE(lang.endsWith(QString::fromLocal8Bit(std::strerror(ENAMETOOLONG))));
    EXPECT_LT(lang.size(), 200);
}
