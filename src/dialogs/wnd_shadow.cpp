#include "wnd_shadow.h"

#include "platform/desktop.h"

#include <QEvent>
#include <QPaintEvent>
#include <QPainter>

namespace velquist {

namespace {

constexpr int kMaxReach = 20;

struct ModuleState {
    bool initialized = false;
    bool available = false;
};

ModuleState& Module() {
    static ModuleState state;
    return state;
}

bool InReach(int value) {
    return value >= -kMaxReach && value <= kMaxReach;
}

// The shadow's own window: paints its image as is, never takes input or focus.
class ShadowSurface : public QWidget {
  public:
    explicit ShadowSurface(QWidget* owner)
        : QWidget(owner, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowTransparentForInput |
                             Qt::WindowDoesNotAcceptFocus | Qt::NoDropShadowWindowHint) {
        setAttribute(Qt::WA_TranslucentBackground);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setAttribute(Qt::WA_NoSystemBackground);
        setObjectName(QStringLiteral("CaldoShadowWnd"));
    }

    void SetImage(QImage image) {
        image_ = std::move(image);
        update();
    }
    const QImage& Image() const { return image_; }

  protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.fillRect(rect(), Qt::transparent);
        if (!image_.isNull()) {
            painter.drawImage(0, 0, image_);
        }
    }

  private:
    QImage image_;
};

int FirstInside(const QRegion& mask, int y, int from, int to) {
    for (int x = from; x < to; ++x) {
        if (mask.contains(QPoint(x, y))) {
            return x;
        }
    }
    return -1;
}

int LastInside(const QRegion& mask, int y, int from, int downTo) {
    for (int x = from; x >= downTo; --x) {
        if (mask.contains(QPoint(x, y))) {
            return x;
        }
    }
    return -1;
}

} // namespace

CWndShadow::CWndShadow() = default;

// The shadow window would go with the parent anyway; removing it here keeps a
// parent that outlives this object from carrying a shadow nobody updates.
CWndShadow::~CWndShadow() {
    if (parent_ != nullptr) {
        parent_->removeEventFilter(this);
    }
    delete shadow_.data();
}

bool CWndShadow::Initialize() {
    if (Module().initialized) {
        return false;
    }
    return Initialize(CanBlendTranslucentWindows());
}

bool CWndShadow::Initialize(bool canBlend) {
    ModuleState& state = Module();
    if (state.initialized) {
        return false;
    }
    state.initialized = true;
    state.available = canBlend;
    return canBlend;
}

bool CWndShadow::IsAvailable() {
    return Module().available;
}

void CWndShadow::Create(QWidget* parent) {
    if (!IsAvailable() || parent == nullptr || parent_ != nullptr) {
        return;
    }
    parent_ = parent;
    shadow_ = new ShadowSurface(parent);
    status_ = kEnabled;
    parent->installEventFilter(this);
    if (!parent->isVisible()) {
        return;
    }
    status_ |= kParentVisible;
    if (parent->isMinimized() || parent->isMaximized()) {
        return;
    }
    Update();
    ShowShadow();
}

bool CWndShadow::SetSize(int size) {
    if (!InReach(size)) {
        return false;
    }
    settings_.size = size;
    if (IsShadowVisible()) {
        Update();
    }
    return true;
}

bool CWndShadow::SetPosition(int x, int y) {
    if (!InReach(x) || !InReach(y)) {
        return false;
    }
    settings_.xOffset = x;
    settings_.yOffset = y;
    if (IsShadowVisible()) {
        Update();
    }
    return true;
}

bool CWndShadow::SetColor(std::uint32_t color) {
    settings_.color = color & 0xFFFFFFu;
    if (IsShadowVisible()) {
        Update();
    }
    return true;
}

QPoint CWndShadow::ShadowPosition() const {
    const QPoint origin = parent_->geometry().topLeft();
    return origin + QPoint(settings_.xOffset - settings_.size, settings_.yOffset - settings_.size);
}

void CWndShadow::Update() {
    if (parent_ == nullptr || shadow_ == nullptr) {
        return;
    }
    const QSize size = parent_->size();
    auto* window = static_cast<ShadowSurface*>(shadow_.data());
    QImage image = MakeShadow(parent_->mask(), size, settings_);
    const QSize extent(ShadowExtent(size.width(), settings_),
                       ShadowExtent(size.height(), settings_));
    window->setGeometry(QRect(ShadowPosition(), extent.expandedTo(QSize(1, 1))));
    window->SetImage(std::move(image));
}

void CWndShadow::ShowShadow() {
    if (shadow_ == nullptr) {
        return;
    }
    shadow_->show();
    status_ |= kShadowVisible;
}

void CWndShadow::HideShadow() {
    if (shadow_ != nullptr) {
        shadow_->hide();
    }
    status_ &= static_cast<std::uint8_t>(~kShadowVisible);
}

bool CWndShadow::eventFilter(QObject* watched, QEvent* event) {
    if (watched != parent_ || shadow_ == nullptr) {
        return false;
    }
    switch (event->type()) {
    case QEvent::Move:
        if (IsShadowVisible()) {
            shadow_->move(ShadowPosition());
        }
        break;
    case QEvent::Resize:
        OnParentResized();
        break;
    case QEvent::Paint:
        if (updatePending_) {
            updatePending_ = false;
            Update();
        }
        break;
    case QEvent::Show:
        OnParentShown();
        break;
    case QEvent::Hide:
        OnParentHidden();
        break;
    case QEvent::WindowStateChange:
        OnParentStateChanged();
        break;
    default:
        break;
    }
    return false;
}

void CWndShadow::OnParentResized() {
    if ((status_ & kEnabled) == 0) {
        return;
    }
    const QSize size = parent_->size();
    if (parent_->isMinimized() || parent_->isMaximized()) {
        HideShadow();
    } else if (parent_->isVisible()) {
        // Growing waits for the parent's next paint, so a drag that enlarges the
        // window is not redrawn for every step; shrinking redraws at once.
        if (size.width() > lastParentSize_.width() || size.height() > lastParentSize_.height()) {
            updatePending_ = true;
        } else {
            Update();
        }
        if (!IsShadowVisible()) {
            ShowShadow();
        }
    }
    lastParentSize_ = size;
}

void CWndShadow::OnParentShown() {
    if ((status_ & kEnabled) == 0 || (status_ & kParentVisible) != 0) {
        return;
    }
    status_ |= kParentVisible;
    if (parent_->isMinimized() || parent_->isMaximized()) {
        return;
    }
    updatePending_ = true;
    ShowShadow();
}

void CWndShadow::OnParentHidden() {
    if ((status_ & kEnabled) == 0) {
        return;
    }
    HideShadow();
    status_ &= static_cast<std::uint8_t>(~kParentVisible);
}

// Minimising or maximising hides the shadow; restoring brings it back.
void CWndShadow::OnParentStateChanged() {
    if ((status_ & kEnabled) == 0) {
        return;
    }
    if (parent_->isMinimized() || parent_->isMaximized()) {
        HideShadow();
        return;
    }
    if (parent_->isVisible() && !IsShadowVisible()) {
        Update();
        ShowShadow();
    }
}

std::vector<ShadowSpan> CWndShadow::SpansFromMask(const QRegion& mask, QSize size) {
    const int width = size.width();
    std::vector<ShadowSpan> spans(static_cast<std::size_t>(std::max(size.height(), 0)),
                                  ShadowSpan{width, 0});
    if (mask.isEmpty()) {
        return spans;
    }
    for (int y = 0; y < size.height(); ++y) {
        const int start = FirstInside(mask, y, 0, width);
        if (start < 0) {
            continue;
        }
        const int last = LastInside(mask, y, width - 1, start);
        spans[static_cast<std::size_t>(y)] = ShadowSpan{start, last + 1};
    }
    return spans;
}

QImage CWndShadow::MakeShadow(const QRegion& mask, QSize size, const ShadowSettings& settings) {
    const int width = ShadowExtent(size.width(), settings);
    const int height = ShadowExtent(size.height(), settings);
    if (mask.isEmpty() || width <= 0 || height <= 0 || size.width() <= 0) {
        return {};
    }
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(0);
    const std::vector<ShadowSpan> spans = SpansFromMask(mask, size);
    auto* bits = reinterpret_cast<std::uint32_t*>(image.bits());
    // The image's lines are packed: 32-bit pixels keep every line 4-byte aligned.
    std::span<std::uint32_t> pixels(bits, static_cast<std::size_t>(width) * height);
    if (image.bytesPerLine() != width * 4 ||
        !MakeShadowImage(pixels, size.width(), spans, settings)) {
        return {};
    }
    return image;
}

} // namespace velquist
