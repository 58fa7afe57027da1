#include "test_window.h"
#include "ui/list_model.h"
#include "ui/row_template.h"
#include "ui/template_list.h"

#include <QAccessible>
#include <QApplication>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QScrollBar>
#include <QToolTip>
#include <functional>
#include <gtest/gtest.h>

namespace velquist::ui::test {
namespace {

class ListTest : public ::testing::Test {
  protected:
    void SetUp() override {
        UseTestSkins();
        ASSERT_NE(w.Create(kNoWindow, {}, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0), kNoWindow);
        list = w.FindControl(QStringLiteral("image-list"));
        ASSERT_NE(list, nullptr);
        view = qobject_cast<TemplateListView*>(list->GetWidget());
        ASSERT_NE(view, nullptr);
    }

    // As the main window adds a file: entry named "item-<id>", tagged, checked.
    CControlUI* AddEntry(int id, const QString& fileName) {
        CControlUI* entry = list->AddTemplateItem();
        entry->SetTag(id);
        entry->SetName(QStringLiteral("item-%1").arg(id));
        entry->FindSubControl(QStringLiteral("imageCheckBox"))->SetCheck(true, false);
        entry->FindSubControl(QStringLiteral("fileNameLabel"))->SetText(fileName);
        for (const char* part : {"imagecheckBox", "preview", "image-remove"}) {
            entry->FindSubControl(QString::fromLatin1(part))->SetTag(id);
        }
        return entry;
    }

    void MouseClick(const QPoint& viewportPos) {
        QWidget* vp = view->viewport();
        const QPointF local(viewportPos);
        const QPointF global(vp->mapToGlobal(viewportPos));
        QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QMouseEvent release(QEvent::MouseButtonRelease, local, global, Qt::LeftButton, Qt::NoButton,
                            Qt::NoModifier);
        QApplication::sendEvent(vp, &press);
        QApplication::sendEvent(vp, &release);
    }

    // Entries reach the view on a later loop pass, and the view lays them out and tells
    // which are on screen on passes after that: waits until all of it has happened.
    void Settle() {
        ASSERT_TRUE(SpinUntil([this] {
            const int last = list->GetCount() - 1;
            return view->model()->rowCount() == last + 1 &&
                   (last < 0 || view->isRowHidden(last) ||
                    !view->visualRect(view->model()->index(last, 0)).isEmpty());
        }));
        ASSERT_TRUE(SpinPastPosted());
    }

    // Centre of a part in viewport coordinates.
    QPoint PartCentre(CControlUI* part) {
        const QRect inWindow = part->GetPos();
        return view->viewport()->mapFrom(w.GetWidget(), inWindow.center());
    }

    TestWindow w{QStringLiteral("List.xml")};
    CControlUI* list = nullptr;
    TemplateListView* view = nullptr;
};

TEST_F(ListTest, EntriesTakeTheTemplateDefaultsAndKeepOrder) {
    CControlUI* e0 = AddEntry(0, QStringLiteral("a.heic"));
    CControlUI* e1 = AddEntry(1, QStringLiteral("b.heic"));
    EXPECT_EQ(list->GetCount(), 2);
    EXPECT_EQ(list->GetItemAt(0), e0);
    EXPECT_EQ(list->GetItemAt(1), e1);
    EXPECT_EQ(list->GetItemIndex(e1), 1);
    EXPECT_EQ(list->GetItemAt(2), nullptr);

    EXPECT_EQ(e0->GetClass(), QStringLiteral("ListItem"));
    CControlUI* preview = e0->FindSubControl(QStringLiteral("PREVIEW"));
    ASSERT_NE(preview, nullptr);
    EXPECT_FALSE(preview->IsVisible()); // hidden in the entry skin
    EXPECT_EQ(preview->GetText(), QStringLiteral("预览"));
    EXPECT_EQ(preview->GetClass(), QStringLiteral("Button"));
    EXPECT_EQ(e0->FindSubControl(QStringLiteral("imagecheckbox")),
              e0->FindSubControl(QStringLiteral("imageCheckBox")));
    EXPECT_EQ(e0->FindSubControl(QStringLiteral("nothing")), nullptr);
    EXPECT_EQ(e1->FindSubControl(QStringLiteral("fileNameLabel"))->GetText(),
              QStringLiteral("b.heic"));
    EXPECT_NE(e0->FindSubControl(QStringLiteral("preview")),
              e1->FindSubControl(QStringLiteral("preview")));
}

TEST_F(ListTest, EntriesAreFoundByNameFromListAndWindow) {
    AddEntry(0, QStringLiteral("a.heic"));
    CControlUI* e7 = AddEntry(7, QStringLiteral("b.heic"));
    EXPECT_EQ(list->FindSubControl(QStringLiteral("item-7")), e7);
    EXPECT_EQ(list->FindSubControl(QStringLiteral("ITEM-7")), e7);
    EXPECT_EQ(w.FindControl(QStringLiteral("item-7")), e7);
    EXPECT_EQ(list->FindSubControl(QStringLiteral("item-8")), nullptr);
    e7->SetName(QStringLiteral("renamed"));
    EXPECT_EQ(list->FindSubControl(QStringLiteral("item-7")), nullptr);
    EXPECT_EQ(list->FindSubControl(QStringLiteral("renamed")), e7);
}

TEST_F(ListTest, RemoveTakesExactlyThatEntry) {
    for (int id = 0; id < 5; ++id) {
        AddEntry(id, QStringLiteral("f%1.heic").arg(id));
    }
    EXPECT_TRUE(list->Remove(list->FindSubControl(QStringLiteral("item-1"))));
    EXPECT_TRUE(list->Remove(list->FindSubControl(QStringLiteral("item-3"))));
    EXPECT_FALSE(list->Remove(nullptr));
    ASSERT_EQ(list->GetCount(), 3);
    EXPECT_EQ(list->GetItemAt(0)->GetTag(), 0);
    EXPECT_EQ(list->GetItemAt(1)->GetTag(), 2);
    EXPECT_EQ(list->GetItemAt(2)->GetTag(), 4);
    EXPECT_EQ(list->FindSubControl(QStringLiteral("item-3")), nullptr);
    list->RemoveAll();
    EXPECT_EQ(list->GetCount(), 0);
}

TEST_F(ListTest, MouseClickOnAButtonPartNotifiesWithTheEntryTag) {
    AddEntry(0, QStringLiteral("a.heic"));
    CControlUI* e1 = AddEntry(1, QStringLiteral("b.heic"));
    QApplication::processEvents();
    CControlUI* remove = e1->FindSubControl(QStringLiteral("image-remove"));
    ASSERT_FALSE(remove->GetPos().isEmpty());
    MouseClick(PartCentre(remove));
    ASSERT_EQ(w.notes.size(), 1u);
    EXPECT_EQ(w.notes[0].type, QStringLiteral("click"));
    EXPECT_EQ(w.notes[0].sender, QStringLiteral("image-remove"));
    EXPECT_EQ(w.notes[0].tag, 1);
}

TEST_F(ListTest, MouseClickOnTheCheckBoxTogglesAndNotifies) {
    CControlUI* e0 = AddEntry(0, QStringLiteral("a.heic"));
    QApplication::processEvents();
    CControlUI* box = e0->FindSubControl(QStringLiteral("imageCheckBox"));
    ASSERT_TRUE(box->GetCheck());
    MouseClick(PartCentre(box));
    EXPECT_FALSE(box->GetCheck());
    ASSERT_EQ(w.notes.size(), 2u);
    EXPECT_EQ(w.notes[0].type, QStringLiteral("selectchanged"));
    EXPECT_EQ(w.notes[1].type, QStringLiteral("click"));
    EXPECT_EQ(w.notes[1].sender, QStringLiteral("imageCheckBox"));
    EXPECT_EQ(w.notes[1].tag, 0);
    EXPECT_FALSE(w.notes[1].check);
}

TEST_F(ListTest, HiddenDisabledAndLabelPartsDoNotClick) {
    CControlUI* e0 = AddEntry(0, QStringLiteral("a.heic"));
    QApplication::processEvents();
    EXPECT_FALSE(view->ClickPart(0, QStringLiteral("fileNameLabel")));
    EXPECT_TRUE(view->ClickPart(0, QStringLiteral("preview"))); // hidden: swallowed
    CControlUI* remove = e0->FindSubControl(QStringLiteral("image-remove"));
    remove->SetEnabled(false);
    MouseClick(PartCentre(remove));
    EXPECT_TRUE(w.notes.empty());

    CControlUI* preview = e0->FindSubControl(QStringLiteral("preview"));
    preview->SetVisible(true);
    EXPECT_TRUE(preview->IsVisible());
    MouseClick(PartCentre(preview));
    ASSERT_EQ(w.notes.size(), 1u);
    EXPECT_EQ(w.notes[0].sender, QStringLiteral("preview"));
}

TEST_F(ListTest, ClickHandlerMayRemoveItsOwnEntry) {
    AddEntry(0, QStringLiteral("a.heic"));
    AddEntry(1, QStringLiteral("b.heic"));
    w.onNotify = [this](TNotifyUI& msg) {
        if (msg.sType == QLatin1String("click") &&
            msg.pSender->GetName() == QLatin1String("image-remove")) {
            list->Remove(
                list->FindSubControl(QStringLiteral("item-%1").arg(msg.pSender->GetTag())));
        }
    };
    ASSERT_TRUE(view->ClickPart(0, QStringLiteral("image-remove")));
    ASSERT_EQ(list->GetCount(), 1);
    EXPECT_EQ(list->GetItemAt(0)->GetTag(), 1);
    ASSERT_TRUE(SpinPastPosted()); // the removed entry's memory goes; ASan checks the rest
}

TEST_F(ListTest, SelectAllOverEveryEntry) {
    for (int id = 0; id < 50; ++id) {
        AddEntry(id, QStringLiteral("f.heic"));
    }
    for (int i = 0; i < list->GetCount(); ++i) {
        list->GetItemAt(i)->FindSubControl(QStringLiteral("imagecheckBox"))->SetCheck(false);
    }
    int checked = 0;
    for (int i = 0; i < list->GetCount(); ++i) {
        checked +=
            list->GetItemAt(i)->FindSubControl(QStringLiteral("imageCheckBox"))->GetCheck() ? 1 : 0;
    }
    EXPECT_EQ(checked, 0);
    EXPECT_EQ(w.notes.size(), 50u); // one selectchanged each
}

TEST_F(ListTest, PaintsRowsWithTheirTexts) {
    CControlUI* e0 = AddEntry(0, QStringLiteral("a.heic"));
    e0->SetVisible(false);
    EXPECT_TRUE(view->isRowHidden(0));
    e0->SetVisible(true);
    EXPECT_FALSE(view->isRowHidden(0));
    Settle(); // the view lays its items out lazily
    const QImage before = view->viewport()->grab().toImage();
    e0->FindSubControl(QStringLiteral("preview"))->SetVisible(true);
    const QImage after = view->viewport()->grab().toImage();
    if (qEnvironmentVariableIsSet("VQ_SAVE")) {
        before.save(QStringLiteral("/tmp/list-before.png"));
        after.save(QStringLiteral("/tmp/list-after.png"));
    }
    // The button appears where the entry lays it out, inside its own entry only.
    const int previewPart = view->Template()->PartIndex(QStringLiteral("preview"));
    ListRow* row = view->Model()->At(0);
    const QRect rowRect = view->visualRect(view->model()->index(0, 0));
    const QRect buttonRect = view->Template()
                                 ->PartRect(previewPart, rowRect.width(), *row)
                                 .translated(rowRect.topLeft());
    ASSERT_FALSE(buttonRect.isEmpty());
    const QImage b = before.convertToFormat(QImage::Format_ARGB32);
    const QImage a = after.convertToFormat(QImage::Format_ARGB32);
    ASSERT_EQ(a.size(), b.size());
    const qreal dpr = a.devicePixelRatio();
    int changedInside = 0;
    int changedOutside = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) == b.pixel(x, y)) {
                continue;
            }
            const QPoint logical(static_cast<int>(x / dpr), static_cast<int>(y / dpr));
            if (buttonRect.contains(logical)) {
                ++changedInside;
            } else if (!rowRect.contains(logical)) {
                ++changedOutside;
            }
        }
    }
    EXPECT_GT(changedInside, buttonRect.width() * buttonRect.height() / 10)
        << "the preview button is not painted in its place";
    EXPECT_EQ(changedOutside, 0) << "showing the button repainted outside its entry";
}

TEST_F(ListTest, RowsArePaintedInsideTheListWhereverItSits) {
    AddEntry(0, QStringLiteral("a.heic"))
        ->FindSubControl(QStringLiteral("preview"))
        ->SetVisible(true);
    Settle();
    QWidget* vp = view->viewport();
    ASSERT_NE(vp->mapTo(w.GetWidget(), QPoint(0, 0)),
              QPoint(0, 0)); // the list is not at the corner
    const QImage alone = vp->grab().toImage();
    // Painting the whole window paints the list through a shared, offset painter.
    const QImage whole = w.GetWidget()->grab().toImage();
    const QRect at(vp->mapTo(w.GetWidget(), QPoint(0, 0)), vp->size());
    const QImage inWindow = whole.copy(at).convertToFormat(alone.format());
    if (qEnvironmentVariableIsSet("VQ_SAVE")) {
        alone.save(QStringLiteral("/tmp/list-alone.png"));
        whole.save(QStringLiteral("/tmp/list-whole.png"));
    }
    EXPECT_EQ(inWindow, alone);
}

void PressKey(QWidget* target, int key) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

TEST_F(ListTest, KeysMoveToggleAndRemoveLikeTheMouse) {
    for (int id = 0; id < 3; ++id) {
        AddEntry(id, QStringLiteral("f%1.heic").arg(id));
    }
    view->setProperty("deletePart", QStringLiteral("image-remove"));
    Settle(); // the view learns of the rows
    view->setFocus();
    view->setCurrentIndex(view->model()->index(0, 0));
    PressKey(view, Qt::Key_Down);
    EXPECT_EQ(view->currentIndex().row(), 1);

    PressKey(view, Qt::Key_Space);
    EXPECT_FALSE(list->GetItemAt(1)->FindSubControl(QStringLiteral("imageCheckBox"))->GetCheck());
    EXPECT_TRUE(list->GetItemAt(0)->FindSubControl(QStringLiteral("imageCheckBox"))->GetCheck());
    ASSERT_EQ(w.notes.size(), 2u); // as a click on the box: selectchanged, then click
    EXPECT_EQ(w.notes[1].type, QStringLiteral("click"));
    EXPECT_EQ(w.notes[1].sender, QStringLiteral("imageCheckBox"));
    EXPECT_EQ(w.notes[1].tag, 1);

    w.notes.clear();
    PressKey(view, Qt::Key_Delete);
    ASSERT_EQ(w.notes.size(), 1u); // the window applies its own rules to the click
    EXPECT_EQ(w.notes[0].sender, QStringLiteral("image-remove"));
    EXPECT_EQ(w.notes[0].tag, 1);
}

TEST_F(ListTest, APartWithAToolTipShowsIt) {
    CControlUI* entry = AddEntry(0, QStringLiteral("a.heic"));
    CControlUI* remove = entry->FindSubControl(QStringLiteral("image-remove"));
    remove->SetToolTip(QStringLiteral("解码失败"));
    Settle();
    const QPoint at = PartCentre(remove);
    QHelpEvent help(QEvent::ToolTip, at, view->viewport()->mapToGlobal(at));
    QApplication::sendEvent(view->viewport(), &help);
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text(), QStringLiteral("解码失败"));
    QToolTip::hideText();
}

TEST_F(ListTest, ListWithoutTemplateGivesNoEntries) {
    TemplateListView bare;
    EXPECT_EQ(bare.Control()->AddTemplateItem(), nullptr);
    EXPECT_FALSE(bare.TemplateError().isEmpty());
}

} // namespace
} // namespace velquist::ui::test

namespace velquist::ui::test {
namespace {

TEST_F(ListTest, AddingAnEntryAgainMovesIt) {
    CControlUI* e0 = AddEntry(0, QStringLiteral("a.heic"));
    AddEntry(1, QStringLiteral("b.heic"));
    AddEntry(2, QStringLiteral("c.heic"));
    EXPECT_TRUE(list->AddAt(e0, 2));
    EXPECT_EQ(list->GetItemIndex(e0), 2);
    EXPECT_EQ(list->GetItemAt(0)->GetTag(), 1);
    EXPECT_TRUE(list->Add(list->GetItemAt(0))); // to the end
    EXPECT_EQ(list->GetItemAt(2)->GetTag(), 1);
    EXPECT_EQ(view->model()->rowCount(), 3);
}

TEST_F(ListTest, TheViewLearnsOfAppendedEntriesOnTheNextPass) {
    for (int id = 0; id < 20; ++id) {
        AddEntry(id, QStringLiteral("f.heic"));
    }
    EXPECT_EQ(list->GetCount(), 20); // the list knows at once
    QApplication::processEvents();
    EXPECT_EQ(view->model()->rowCount(), 20);
    // Hiding one before the pass reaches the view too.
    CControlUI* late = AddEntry(20, QStringLiteral("g.heic"));
    late->SetVisible(false);
    EXPECT_TRUE(view->isRowHidden(20));
}

} // namespace
} // namespace velquist::ui::test

namespace velquist::ui::test {
namespace {

int RedPixelsIn(const QImage& image, const QRect& logical) {
    const qreal dpr = image.devicePixelRatio();
    int red = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QPoint at(static_cast<int>(x / dpr), static_cast<int>(y / dpr));
            if (logical.contains(at) && image.pixel(x, y) == qRgb(255, 0, 0)) {
                ++red;
            }
        }
    }
    return red;
}

TEST_F(ListTest, APictureShowsInItsOwnEntryOnlyAndGoesAgain) {
    CControlUI* e0 = AddEntry(0, QStringLiteral("a.heic"));
    AddEntry(1, QStringLiteral("b.heic"));
    Settle();
    auto* label = dynamic_cast<RowPart*>(e0->FindSubControl(QStringLiteral("fileSizeLabel")));
    ASSERT_NE(label, nullptr);
    label->SetText(QStringLiteral("2.41M"));
    QPixmap red(12, 12);
    red.fill(Qt::red);
    label->SetImage(red);
    const QRect row0 = view->visualRect(view->model()->index(0, 0));
    const QRect row1 = view->visualRect(view->model()->index(1, 0));
    QImage shot = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_GT(RedPixelsIn(shot, row0), 100);
    EXPECT_EQ(RedPixelsIn(shot, row1), 0) << "the picture leaked into the next entry";

    label->SetImage(QPixmap());
    EXPECT_EQ(label->Image(), nullptr);
    EXPECT_EQ(label->GetText(), QStringLiteral("2.41M"));
    shot = view->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(RedPixelsIn(shot, row0), 0) << "the picture stayed after it was taken out";
}

TEST_F(ListTest, TellsOnceWhichRowsAreOnScreenAfterAScroll) {
    for (int id = 0; id < 300; ++id) {
        AddEntry(id, QStringLiteral("IMG_%1.heic").arg(id));
    }
    Settle();
    int told = 0;
    QObject::connect(view, &TemplateListView::VisibleRowsChanged, [&told] { ++told; });
    int first = -1;
    int last = -1;
    ASSERT_TRUE(view->VisibleRows(&first, &last));
    EXPECT_EQ(first, 0);
    const int shown = last - first + 1;
    EXPECT_NEAR(shown, view->viewport()->height() / view->Template()->RowHeight(), 1);

    // Many scroll steps in one pass make one notice.
    for (int step = 1; step <= 10; ++step) {
        view->verticalScrollBar()->setValue(step * view->verticalScrollBar()->maximum() / 20);
    }
    ASSERT_TRUE(SpinUntil([&told] { return told > 0; }));
    ASSERT_TRUE(SpinPastPosted()); // room for a second notice, were one due
    EXPECT_EQ(told, 1);
    ASSERT_TRUE(view->VisibleRows(&first, &last));
    EXPECT_GT(first, 100);
    EXPECT_NEAR(last - first + 1, shown, 1);
}

// A screen reader says what the entry shows (file name, status), never its internal
// name, and the window offers no control it hides.
TEST_F(ListTest, ScreenReadersHearTheEntrysTextsAndNoHiddenControl) {
    CControlUI* entry = AddEntry(0, QStringLiteral("a.heic"));
    entry->FindSubControl(QStringLiteral("fileSizeLabel"))->SetText(QStringLiteral("1.2MB"));
    CControlUI* status = entry->FindSubControl(QStringLiteral("status-processing"));
    status->SetText(QStringLiteral("转换中"));
    status->SetVisible(false);
    Settle();
    QAccessibleInterface* listReader = QAccessible::queryAccessibleInterface(view);
    ASSERT_NE(listReader, nullptr);
    auto spoken = [listReader] {
        QStringList texts;
        for (int i = 0; i < listReader->childCount(); ++i) {
            texts << listReader->child(i)->text(QAccessible::Name);
        }
        return texts.join(QLatin1Char('|'));
    };
    EXPECT_EQ(spoken(), QStringLiteral("a.heic, 1.2MB"));
    status->SetVisible(true);
    EXPECT_EQ(spoken(), QStringLiteral("a.heic, 1.2MB, 转换中"));

    QWidget* selectAll = w.GetWidget()->findChild<QWidget*>(QStringLiteral("imageCheckBoxAll"));
    ASSERT_NE(selectAll, nullptr);
    std::function<int(QAccessibleInterface*, QObject*)> count = [&](QAccessibleInterface* node,
                                                                    QObject* wanted) {
        int found = node->object() == wanted ? 1 : 0;
        EXPECT_FALSE(node->state().invisible) << node->text(QAccessible::Name).toStdString();
        for (int i = 0; i < node->childCount() && node->role() != QAccessible::List; ++i) {
            found += count(node->child(i), wanted);
        }
        return found;
    };
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(w.GetWidget());
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(count(root, selectAll), 1);
    selectAll->hide();
    EXPECT_EQ(count(root, selectAll), 0);
}

} // namespace
} // namespace velquist::ui::test
