#include "test_window.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/widget_control.h"

#include <QApplication>
#include <QLabel>
#include <QWidget>
#include <gtest/gtest.h>

namespace velquist::ui::test {
namespace {

class SkinTest : public ::testing::Test {
  protected:
    void SetUp() override { UseTestSkins(); }
};

TEST_F(SkinTest, BuildsWindowFromSkinAndFindsControlsIgnoringCase) {
    TestWindow w;
    const HWND hwnd = w.Create(kNoWindow, QStringLiteral("t"), WS_OVERLAPPEDWINDOW, 0);
    ASSERT_NE(hwnd, kNoWindow);
    EXPECT_EQ(w.GetHWND(), hwnd);
    EXPECT_EQ(w.initCalls, 1);
    EXPECT_EQ(w.GetWidget()->objectName(), QStringLiteral("TestWindow"));
    EXPECT_EQ(w.GetWidget()->size(), QSize(320, 260)); // the skin's size

    CControlUI* ok = w.FindControl(QStringLiteral("OKBTN"));
    ASSERT_NE(ok, nullptr);
    EXPECT_EQ(ok, w.FindControl(QStringLiteral("okBtn")));
    EXPECT_EQ(ok->GetName(), QStringLiteral("okBtn"));
    EXPECT_EQ(ok->GetText(), QStringLiteral("确定"));
    EXPECT_EQ(ok->GetTag(), 7);
    EXPECT_EQ(ok->GetClass(), QStringLiteral("Button"));
    EXPECT_EQ(w.FindControl(QStringLiteral("Image-Exif"))->GetClass(), QStringLiteral("CheckBox"));
    EXPECT_EQ(w.FindControl(QStringLiteral("image-format"))->GetText(), QStringLiteral("jpg"));

    EXPECT_EQ(w.FindControl(QStringLiteral("no-such-control")), nullptr);
    EXPECT_EQ(w.FindControl(QString()), nullptr);
    EXPECT_EQ(w.FindControl(QStringLiteral("box"))->FindSubControl(QStringLiteral("okBtn")),
              nullptr);
    EXPECT_FALSE(w.FindControl(QStringLiteral("hiddenLabel"))->IsVisible());
}

TEST_F(SkinTest, MissingOrBrokenSkinFailsCreateWithReason) {
    for (const char* file : {"NoSuchSkin.xml", "Broken.xml"}) {
        TestWindow w{QString::fromLatin1(file)};
        EXPECT_EQ(w.Create(kNoWindow, {}, WS_POPUP, 0), kNoWindow) << file;
        EXPECT_TRUE(w.GetSkinError().contains(QString::fromLatin1(file)))
            << w.GetSkinError().toStdString();
        EXPECT_EQ(w.initCalls, 0);
        EXPECT_EQ(w.GetWidget(), nullptr);
        EXPECT_EQ(w.FindControl(QStringLiteral("okBtn")), nullptr);
        // The "new, show modal, forget" pattern must neither block nor leak.
        EXPECT_EQ(w.ShowModal(), -1);
        EXPECT_EQ(w.finals, 1);
    }
}

TEST_F(SkinTest, StyleBitsChooseDecoration) {
    TestWindow framed;
    framed.Create(kNoWindow, {}, WS_OVERLAPPEDWINDOW, 0);
    EXPECT_FALSE(framed.GetWidget()->windowFlags() & Qt::FramelessWindowHint);

    TestWindow box;
    box.Create(framed.GetHWND(), {}, 0x96C80000u, WS_EX_WINDOWEDGE);
    EXPECT_FALSE(box.GetWidget()->windowFlags() & Qt::FramelessWindowHint);
    box.ModifyStyle(WS_CAPTION, WS_CLIPSIBLINGS | WS_CLIPCHILDREN);
    EXPECT_TRUE(box.GetWidget()->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(box.GetStyle() & WS_CAPTION, 0u);
    EXPECT_EQ(box.GetWidget()->parentWidget(), framed.GetWidget());

    TestWindow tool;
    tool.Create(kNoWindow, {}, WS_VISIBLE, WS_EX_TOOLWINDOW | WS_EX_TOPMOST);
    EXPECT_EQ(tool.GetWidget()->windowType(), Qt::Tool);
    EXPECT_TRUE(tool.GetWidget()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(tool.GetWidget()->isVisible());

    TestWindow menu;
    menu.Create(kNoWindow, QStringLiteral("MenuWnd"), 0x96000000u, WS_EX_TOOLWINDOW);
    EXPECT_EQ(menu.GetWidget()->windowType(), Qt::Popup);
    menu.Close(1);
    SpinUntil([&] { return menu.finals == 1; });
}

TEST_F(SkinTest, RoundCornerPropertyGivesTheWindowAMask) {
    TestWindow w;
    w.Create(kNoWindow, {}, WS_POPUP, 0);
    EXPECT_EQ(w.GetWidget()->mask(), QRegion(QRect(0, 0, 320, 260)));
}

TEST_F(SkinTest, ControlOperations) {
    TestWindow w;
    w.Create(kNoWindow, {}, WS_OVERLAPPEDWINDOW, 0);
    w.ShowWindow();
    CControlUI* label = w.FindControl(QStringLiteral("msgText"));
    label->SetText(QStringLiteral("新的文字"));
    EXPECT_EQ(label->GetText(), QStringLiteral("新的文字"));
    label->SetTag(42);
    EXPECT_EQ(label->GetTag(), 42);
    label->SetVisible(false);
    EXPECT_FALSE(label->IsVisible());
    label->SetVisible(true);
    EXPECT_TRUE(label->IsVisible());
    label->SetTextColor(0xFFFF0000u);
    EXPECT_TRUE(label->GetWidget()->styleSheet().contains(QStringLiteral("rgba(255, 0, 0, 255)")));
    label->SetTextColor(0xFF00FF00u); // replaces, does not pile up
    EXPECT_FALSE(label->GetWidget()->styleSheet().contains(QStringLiteral("255, 0, 0")));
    EXPECT_FALSE(label->GetCheck()); // not a check box: neutral answers

    CControlUI* ok = w.FindControl(QStringLiteral("okBtn"));
    ok->SetEnabled(false);
    EXPECT_FALSE(ok->IsEnabled());
    ok->SetMouseEnabled(false);
    EXPECT_FALSE(ok->IsMouseEnabled());
    const QRect pos = ok->GetPos();
    EXPECT_EQ(pos.topLeft(), ok->GetWidget()->mapTo(w.GetWidget(), QPoint(0, 0)));
    EXPECT_EQ(ok->GetWidth(), ok->GetWidget()->width());

    CControlUI* slider = w.FindControl(QStringLiteral("volume"));
    slider->SetValue(40);
    EXPECT_EQ(slider->GetValue(), 40);

    CControlUI* combo = w.FindControl(QStringLiteral("image-format"));
    EXPECT_FALSE(combo->SelectItem(3));
    EXPECT_TRUE(combo->SelectItem(2));
    EXPECT_EQ(combo->GetText(), QStringLiteral("bmp"));
    EXPECT_FALSE(combo->IsFocused());
}

TEST_F(SkinTest, ContainersAddRemoveAndBuildFromTemplate) {
    TestWindow w;
    w.Create(kNoWindow, {}, WS_OVERLAPPEDWINDOW, 0);
    w.ShowWindow();
    CControlUI* box = w.FindControl(QStringLiteral("box"));
    ASSERT_EQ(box->GetCount(), 2);
    EXPECT_EQ(box->GetItemAt(0)->GetName(), QStringLiteral("first"));

    CDialogBuilder builder;
    CControlUI* entry = builder.Create(QStringLiteral("Entry.xml"), nullptr, &w);
    ASSERT_NE(entry, nullptr);
    entry->SetName(QStringLiteral("item-0"));
    entry->SetTag(0);
    ASSERT_TRUE(box->Add(entry));
    EXPECT_EQ(box->GetCount(), 3);
    EXPECT_EQ(box->GetItemAt(2), entry);
    EXPECT_EQ(box->GetItemIndex(entry), 2);
    EXPECT_TRUE(entry->IsVisible());
    EXPECT_EQ(w.FindControl(QStringLiteral("ITEM-0")), entry);
    EXPECT_NE(entry->FindSubControl(QStringLiteral("imagecheckBox")), nullptr);

    EXPECT_EQ(builder.Create(QStringLiteral("Missing.xml")), nullptr);
    EXPECT_FALSE(builder.GetLastError().isEmpty());

    EXPECT_TRUE(box->Remove(box->GetItemAt(0)));
    EXPECT_EQ(box->GetCount(), 2);
    EXPECT_EQ(box->GetItemAt(0)->GetName(), QStringLiteral("second"));
    EXPECT_EQ(w.FindControl(QStringLiteral("first")), nullptr);
    EXPECT_FALSE(box->Remove(w.FindControl(QStringLiteral("okBtn")))); // not its child
}

TEST_F(SkinTest, ResourceIndexLoadsStylesheetAndReportsMissingIndex) {
    QString error;
    ASSERT_TRUE(CResourceManager::LoadResource(QStringLiteral("res.xml"), &error))
        << error.toStdString();
    EXPECT_TRUE(qApp->styleSheet().contains(QStringLiteral("#123456")));
    EXPECT_FALSE(CResourceManager::LoadResource(QStringLiteral("nores.xml"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("nores.xml")));
    CPaintManagerUI::Term();
    EXPECT_TRUE(qApp->styleSheet().isEmpty());

    EXPECT_FALSE(CResourceManager::LoadResource(QStringLiteral("res-partial.xml"), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("missing.qss")));
    EXPECT_TRUE(qApp->styleSheet().contains(QStringLiteral("#123456"))); // the readable one applies
    CPaintManagerUI::Term();
}

TEST_F(SkinTest, InstancePathIsTheProgramFolder) {
    EXPECT_EQ(CPaintManagerUI::GetInstancePath(),
              QCoreApplication::applicationDirPath() + QLatin1Char('/'));
}

} // namespace
} // namespace velquist::ui::test
