#pragma once

#include "ui/ui_defs.h"

#include <QListView>
#include <QPointer>
#include <QString>
#include <memory>

namespace velquist::ui {

class CControlUI;
class ListModel;
class ListRow;
class RowTemplate;

// The long list. Skins declare it as <widget class="VqTemplateList"> with the
// string property rowTemplate naming the entry skin file. Entries are rows of
// a model; their look and their named parts come from the entry skin, read
// once. The delegate paints a row by rendering the entry skin with the row's
// part states, and hit-tests clicks the same way, so one widget tree serves
// every row. Windows use it through its CControlUI facade.
class TemplateListView final : public QListView {
    Q_OBJECT
  public:
    static constexpr const char* kSkinClassName = "VqTemplateList";

    explicit TemplateListView(QWidget* parent = nullptr);
    ~TemplateListView() override;

    CControlUI* Control();
    ListModel* Model() const { return model_; }
    // Loaded on first use from the rowTemplate property; null (and a reason)
    // when the entry skin cannot be read.
    RowTemplate* Template();
    QString TemplateError() const { return templateError_; }
    void SetFallbackWindow(HWND hwnd) { fallback_ = hwnd; }
    HWND FallbackWindow() const { return fallback_; }
    // A part changed: repaint (cheap; rows are painted on demand).
    void PartChanged();
    void RowVisibilityChanged(ListRow* row);
    // Clicks a part of a row as the user would (also used by tests).
    bool ClickPart(int row, const QString& partName);
    // The rows the viewport shows, top to bottom; false when it shows none.
    bool VisibleRows(int* first, int* last) const;

  signals:
    // The rows on screen may have changed (scrolled, resized, rows added or
    // taken out); sent once per loop pass however many changes it saw.
    void VisibleRowsChanged();

  protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void showEvent(QShowEvent* e) override;
    // Space clicks the current entry's check box, Delete its part named by the
    // skin's deletePart property: the same notifications as the mouse gives.
    void keyPressEvent(QKeyEvent* e) override;
    // Tool tips of an entry's parts.
    bool viewportEvent(QEvent* e) override;

  private:
    // The first part of the entry template that is a check box, or -1.
    int CheckPart();
    // The shown part of the row under `viewportPos` with a tool tip, or -1.
    int ToolTipPartAt(const QPoint& viewportPos, ListRow** row);
    int PartAt(const QPoint& viewportPos, int* row);
    // `mouse`: where the click happened, in the window's client area.
    void Activate(ListRow* row, int part, QPoint mouse = QPoint());
    void ScheduleVisibleRowsChanged();

    ListModel* model_;
    std::unique_ptr<RowTemplate> template_;
    QString templateError_;
    bool templateTried_ = false;
    HWND fallback_ = kNoWindow;
    int pressRow_ = -1;
    int pressPart_ = -1;
    bool visibleRowsPending_ = false;
};

} // namespace velquist::ui
