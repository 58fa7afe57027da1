#pragma once

#include "dialogs/shadow_image.h"

#include <QImage>
#include <QObject>
#include <QPointer>
#include <QRegion>
#include <QSize>
#include <QWidget>
#include <cstdint>
#include <vector>

namespace velquist {

// A soft drop shadow around a frameless window. The shadow is a translucent,
// click-through tool window owned by the window (so it lies above it and goes
// away with it), transparent over the window itself and shaded in a margin
// around it. It follows the window through an event filter and is drawn from
// the window's mask: a window without a mask casts no shadow.
class CWndShadow : public QObject {
  public:
    enum Status : std::uint8_t {
        kEnabled = 1,
        kShadowVisible = 2,
        kParentVisible = 4,
    };

    CWndShadow();
    ~CWndShadow() override;

    // Once per process, with a QApplication. Shadows stay off unless the display
    // blends translucent windows. Later calls change nothing and return false.
    static bool Initialize();
    // The same with the answer of the compositor check given (tests).
    static bool Initialize(bool canBlend);
    static bool IsAvailable();

    // Attaches the shadow to parent; does nothing while shadows are off.
    void Create(QWidget* parent);

    // Reach beyond the window, -20..20; false and no change outside.
    bool SetSize(int size);
    // Shift of the shadow, each -20..20; false and no change when either is outside.
    bool SetPosition(int x, int y);
    // Red in the low byte, then green, then blue.
    bool SetColor(std::uint32_t color);
    // Redraws the shadow from the parent's current shape and places it.
    void Update();

    const ShadowSettings& Settings() const { return settings_; }
    std::uint8_t GetStatus() const { return status_; }
    // The shadow window while one exists (tests, screenshots).
    QWidget* ShadowWindow() const { return shadow_; }

    // One span per window line, found with a hit test from each end of the line.
    static std::vector<ShadowSpan> SpansFromMask(const QRegion& mask, QSize size);
    // The shadow image for a window of that size and mask; a null image when the
    // mask is empty or the settings leave no area.
    static QImage MakeShadow(const QRegion& mask, QSize size, const ShadowSettings& settings);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QPoint ShadowPosition() const;
    bool IsShadowVisible() const { return (status_ & kShadowVisible) != 0; }
    void ShowShadow();
    void HideShadow();
    void OnParentResized();
    void OnParentShown();
    void OnParentHidden();
    void OnParentStateChanged();

    QPointer<QWidget> parent_;
    QPointer<QWidget> shadow_;
    std::uint8_t status_ = 0;
    ShadowSettings settings_;
    QSize lastParentSize_;
    bool updatePending_ = false;
};

} // namespace velquist
