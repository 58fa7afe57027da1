// The list's order for added folders and where the pickers open.
#include "app/mainwnd.h"
#include "app/natural_order.h"
#include "app_test_util.h"
#include "config/config_file.h"
#include "support/temp_dir.h"
#include "ui/control.h"

#include <QDir>
#include <algorithm>
#include <fstream>
#include <gtest/gtest.h>
#include <random>

namespace velquist {
namespace {

std::vector<std::wstring> Sorted(std::vector<std::wstring> names) {
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

TEST(NaturalOrder, NumbersByValueLettersWithoutCase) {
    EXPECT_EQ(
        Sorted({L"IMG_10.heic", L"IMG_2.heic", L"IMG_1.heic", L"img_3.HEIC"}),
        (std::vector<std::wstring>{L"IMG_1.heic", L"IMG_2.heic", L"img_3.HEIC", L"IMG_10.heic"}));
    EXPECT_EQ(Sorted({L"b03.heic", L"a03.heic", L"b04.heic", L"a10.heic", L"a9.heic"}),
              (std::vector<std::wstring>{L"a03.heic", L"a9.heic", L"a10.heic", L"b03.heic",
                                         L"b04.heic"}));
    // Digits past any integer's range, a name that is a prefix of another,
    // names with no digits and Chinese names.
    EXPECT_EQ(
        Sorted({L"x99999999999999999999999.heic", L"x100000000000000000000000.heic", L"x2.heic"}),
        (std::vector<std::wstring>{L"x2.heic", L"x99999999999999999999999.heic",
                                   L"x100000000000000000000000.heic"}));
    EXPECT_TRUE(NaturalLess(L"photo", L"photo 2"));
    EXPECT_TRUE(NaturalLess(L"照片2.heic", L"照片10.heic"));
}

TEST(NaturalOrder, IsATotalOrderEvenForNamesEqualByValue) {
    // IMG_01 and IMG_1 read alike; they still get a fixed order, so a sort
    // gives the same list every time and never trips over an inconsistent order.
    EXPECT_NE(NaturalLess(L"IMG_01", L"IMG_1"), NaturalLess(L"IMG_1", L"IMG_01"));
    EXPECT_FALSE(NaturalLess(L"same", L"same"));
    std::vector<std::wstring> names = {L"a1", L"A1", L"a01", L"a001", L"a1b", L"a1B", L"a", L"b"};
    std::mt19937 random(7);
    std::vector<std::wstring> first;
    for (int round = 0; round < 20; ++round) {
        std::shuffle(names.begin(), names.end(), random);
        std::sort(names.begin(), names.end(), NaturalLess);
        if (round == 0) {
            first = names;
        }
        EXPECT_EQ(names, first);
    }
}

QString NameAt(ui::CControlUI* list, int index) {
    return list->GetItemAt(index)->FindSubControl(QStringLiteral("fileNameLabel"))->GetText();
}

TEST(ListOrder, AFoldersFilesJoinInNaturalNameOrder) {
    test::TempDir dir;
    const std::vector<std::string> names = {"b03.heic",   "IMG_10.heic", "a03.heic",
                                            "IMG_2.heic", "b04.heic",    "img_1.HEIC"};
    for (const std::string& name : names) {
        std::ofstream(dir.File(name)) << "x";
    }
    CMainWnd* window = test::OpenMainWindow();
    ASSERT_NE(window, nullptr);
    window->AddImageFiles({QString::fromStdString(dir.File("b04.heic"))});
    window->AddImageFolder(QString::fromStdString(dir.Path()));
    // Asked after the folder: joins after the folder's files although it is quicker.
    window->AddImageFiles({QString::fromStdString(dir.File("a03.heic"))});
    ASSERT_TRUE(test::SpinUntil([window] { return window->PendingScans() == 0; }));
    ui::CControlUI* list = window->FindControl(QStringLiteral("image-list"));
    QStringList shown;
    for (int i = 0; i < list->GetCount(); ++i) {
        shown << NameAt(list, i);
    }
    EXPECT_EQ(shown, (QStringList{"b04.heic", "a03.heic", "b03.heic", "b04.heic", "img_1.HEIC",
                                  "IMG_2.heic", "IMG_10.heic", "a03.heic"}));
    test::CloseMainWindow(window);
}

TEST(Pickers, OpenInPicturesFirstThenWhereTheUserWentLast) {
    WriteConfigValue(L"global", kPickerFolderKey, L"");
    const QString pictures = QDir(QString::fromStdString(test::TestHome())).filePath("Pictures");
    QDir().mkpath(pictures);
    EXPECT_EQ(QDir(PickerStartFolder()).canonicalPath(), QDir(pictures).canonicalPath());
    test::TempDir elsewhere;
    RememberPickerFolder(QString::fromStdString(elsewhere.Path()));
    EXPECT_EQ(PickerStartFolder(), QString::fromStdString(elsewhere.Path()));
    std::wstring stored;
    ReadConfigValue(L"global", kPickerFolderKey, L"", stored);
    EXPECT_EQ(QString::fromStdWString(stored), QString::fromStdString(elsewhere.Path()));
    // A remembered folder that is gone: back to Pictures.
    RememberPickerFolder(QString::fromStdString(elsewhere.Path()) + "/gone");
    EXPECT_EQ(QDir(PickerStartFolder()).canonicalPath(), QDir(pictures).canonicalPath());
}

} // namespace
} // namespace velquist
