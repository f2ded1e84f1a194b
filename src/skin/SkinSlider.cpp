// SPDX-License-Identifier: GPL-3.0-or-later
#include "skin/SkinSlider.h"
#include "ui/Truncate.h"

#include "skin/OffscreenDC.h"
#include "skin/SkinCatalogue.h"
#include "ui/Prompts.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QtMath>
#include <cmath>
#include <limits>

namespace {

// A rectangle of logical pixels as device pixels of a picture rendered at `ratio`.
QRect DeviceRect(int x, int y, int cx, int cy, qreal ratio) {
    const int left = qRound(x * ratio), top = qRound(y * ratio);
    return QRect(left, top, qRound((x + cx) * ratio) - left, qRound((y + cy) * ratio) - top);
}

// Screen readers see the slider as a slider with a value they can read and set.
class SkinSliderAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
public:
    explicit SkinSliderAccessible(QWidget* widget)
        : QAccessibleWidget(widget, QAccessible::Slider) {}

    void* interface_cast(QAccessible::InterfaceType type) override {
        if (type == QAccessible::ValueInterface)
            return static_cast<QAccessibleValueInterface*>(this);
        return QAccessibleWidget::interface_cast(type);
    }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value)
            return QString::number(slider()->GetPos());
        return QAccessibleWidget::text(t);
    }

    QVariant currentValue() const override { return slider()->GetPos(); }
    void setCurrentValue(const QVariant& value) override {
        // A change made through an assistive tool is the user's, reported like a key's.
        CSkinSlider* s = slider();
        s->SetPos(value.toInt());
        if (QWidget* parent = s->parentWidget())
            QCoreApplication::postEvent(
                parent,
                new CSkinSliderNotification(WM_SKINSLIDER_MOVED, s->ControlId(), s->GetPos()));
    }
    QVariant maximumValue() const override { return slider()->GetRangeMax(); }
    QVariant minimumValue() const override { return slider()->GetRangeMin(); }
    QVariant minimumStepSize() const override { return 1; }

private:
    CSkinSlider* slider() const { return static_cast<CSkinSlider*>(widget()); }
};

QAccessibleInterface* SkinSliderAccessibleFactory(const QString& key, QObject* object) {
    if (key == QLatin1String("CSkinSlider") && object && object->isWidgetType())
        return new SkinSliderAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

CSkinSlider::CSkinSlider(QWidget* parent) : QWidget(parent) {
    static const bool accessible = [] {
        QAccessible::installFactory(SkinSliderAccessibleFactory);
        return true;
    }();
    Q_UNUSED(accessible);
    // Not a tab stop; a click gives it the focus.
    setFocusPolicy(Qt::ClickFocus);
    UpdateOpacity();
}

CSkinSlider::~CSkinSlider() = default;

bool CSkinSlider::Picture::Load(uint nId, qreal dRatio, bool bKeyed, quint32 clr, int xKey,
                                int yKey) {
    Delete();
    const QPixmap pixmap = Skin::Bitmap(int(nId & 0xFFFF), dRatio);
    if (pixmap.isNull())
        return false;
    id = nId;
    keyed = bKeyed;
    clrKey = clr;
    ptKey = QPoint(xKey, yKey);
    ratio = dRatio;
    image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (keyed)
        BuildKeyMask(*this);
    return true;
}

void CSkinSlider::Picture::Follow(qreal dRatio) {
    if (IsNull() || qFuzzyCompare(ratio, dRatio))
        return;
    Picture again;
    if (again.Load(id, dRatio, keyed, clrKey, ptKey.x(), ptKey.y()))
        *this = again;
}

bool CSkinSlider::LoadChannelBitmaps(uint nChannelId, uint nPlayedId, bool bKeyed, quint32 clrKey,
                                     int xKey, int yKey) {
    if (nChannelId == 0) {
        m_bHasChannel = false;
        m_bmpChannel.Delete();
        m_bmpPlayed.Delete();
        UpdateOpacity();
        return true;
    }
    const qreal ratio = devicePixelRatioF();
    if (!m_bmpChannel.Load(nChannelId, ratio, bKeyed, clrKey, xKey, yKey))
        return false;
    if (nPlayedId != 0) {
        if (!m_bmpPlayed.Load(nPlayedId, ratio, bKeyed, clrKey, xKey, yKey)) {
            m_bmpChannel.Delete();
            return false;
        }
        m_bHasPlayed = true;
    } else {
        m_bHasPlayed = false;
    }

    const QSize size = Skin::BitmapSize(int(nChannelId & 0xFFFF));
    m_nWidth = size.width();
    m_nHeight = size.height();
    resize(size);
    m_rcClient = rect();
    m_bChannelKeyed = bKeyed;
    m_bHasChannel = true;
    UpdateOpacity();
    return true;
}

void CSkinSlider::SetRange(int nMin, int nMax, bool bRedraw) {
    SetRangeMin(nMin, false);
    SetRangeMax(nMax, bRedraw);
}

void CSkinSlider::SetRangeMin(int nMin, bool bRedraw) {
    m_nRangeMin = nMin;
    if (bRedraw)
        update();
}

void CSkinSlider::SetRangeMax(int nMax, bool bRedraw) {
    m_nRangeMax = nMax;
    if (bRedraw)
        update();
}

void CSkinSlider::SetFixedSplit(double dFraction, bool bUse) {
    m_nSplitX = TruncToInt(m_nWidth * dFraction);
    m_bFixedSplit = bUse;
}

bool CSkinSlider::LoadThumbBitmaps(uint nThumbId, uint nActiveId, bool bKeyed, quint32 clrKey,
                                   int xKey, int yKey) {
    if (nThumbId == 0) {
        m_bHasThumb = false;
        m_bmpThumb.Delete();
        m_bmpThumbActive.Delete();
        return true;
    }
    const qreal ratio = devicePixelRatioF();
    if (!m_bmpThumb.Load(nThumbId, ratio, bKeyed, clrKey, xKey, yKey))
        return false;
    if (nActiveId != 0) {
        if (!m_bmpThumbActive.Load(nActiveId, ratio, bKeyed, clrKey, xKey, yKey)) {
            m_bmpThumb.Delete();
            return false;
        }
        m_bHasActiveThumb = true;
    } else {
        m_bHasActiveThumb = false;
    }

    const QSize size = Skin::BitmapSize(int(nThumbId & 0xFFFF));
    m_nThumbWidth = size.width();
    m_nThumbHeight = size.height();
    if (!m_bHasChannel) {
        m_rcClient = rect();
        m_nWidth = m_rcClient.width();
        m_nHeight = m_rcClient.height();
    }
    if (m_nThumbWidth >= m_nWidth) {
        // A thumb as wide as the control leaves it no track; the owner's configuration is
        // wrong, and saying so is all the control can do.
        Prompts::current().message(this, QString::asprintf("m_nThumbWidth=%d", m_nThumbWidth));
        Prompts::current().message(this, QString::asprintf("m_nWidth=%d", m_nWidth));
    }
    m_bThumbKeyed = bKeyed;
    m_bHasThumb = true;
    return true;
}

void CSkinSlider::SetMarks(const QList<QPair<int, QColor>>& marks) {
    if (marks == m_marks)
        return;
    m_marks = marks;
    update();
}

void CSkinSlider::ShowFocusRect(bool bShow, bool bRedraw) {
    m_bShowFocusRect = bShow;
    if (bRedraw)
        update();
}

void CSkinSlider::SetPos(int nPos) {
    m_nPos = nPos;
    if (m_nPos > m_nRangeMax)
        m_nPos = m_nRangeMax;
    if (m_nPos < m_nRangeMin)
        m_nPos = m_nRangeMin;
    update();
    if (QAccessible::isActive()) {
        QAccessibleValueChangeEvent changed(this, m_nPos);
        QAccessible::updateAccessibility(&changed);
    }
}

int CSkinSlider::PosToPixel(int nPos) const {
    const double length = m_nWidth - m_nInsetRight - m_nThumbWidth - m_nInsetLeft;
    const double range = double(m_nRangeMax) - double(m_nRangeMin);
    if (range == 0) // owners always give a range; this only keeps the arithmetic finite
        return m_nInsetLeft + m_nThumbWidth / 2;
    return m_nInsetLeft + TruncToInt((double(nPos) - m_nRangeMin) / range * length) +
           m_nThumbWidth / 2;
}

int CSkinSlider::PixelToPos(int x) const {
    const double length = m_nWidth - m_nInsetRight - m_nThumbWidth - m_nInsetLeft;
    if (length == 0) // owners always leave a track; this only keeps the arithmetic finite
        return m_nRangeMin;
    const double range = double(m_nRangeMax) - double(m_nRangeMin);
    return TruncToInt(double(x - m_nThumbWidth / 2 - m_nInsetLeft) / length * range + m_nRangeMin);
}

int CSkinSlider::SplitX() const {
    return m_bFixedSplit ? m_nSplitX : PosToPixel(m_nPos);
}

void CSkinSlider::Notify(int message) {
    QObject* target = parentWidget();
    if (!target)
        return;
    // Posted, never sent: the parent sees it after this handler has returned.
    QCoreApplication::postEvent(target, new CSkinSliderNotification(message, m_nId, m_nPos));
}

void CSkinSlider::MoveThumbTo(int x) {
    const int xMin = m_nInsetLeft + m_nThumbWidth / 2;
    const int xMax = m_nWidth - m_nThumbWidth / 2 - m_nInsetRight;
    x -= m_nGrabOffset;
    if (x < xMin)
        x = xMin;
    if (x > xMax)
        x = xMax;
    if (x != PosToPixel(m_nPos)) {
        SetPos(PixelToPos(x));
        Notify(WM_SKINSLIDER_MOVING);
    }
}

void CSkinSlider::mousePressEvent(QMouseEvent* event) {
    // Accepted whatever the button, so that a press on the bar never drags the window.
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    // The press grabs the mouse until the release (Qt's implicit grab).
    setFocus(Qt::MouseFocusReason);
    m_bDragging = true;
    const int x = qFloor(event->position().x());
    const int d = x - PosToPixel(m_nPos);
    // Within the thumb the press takes hold of it where it is; elsewhere the thumb's centre
    // jumps to the pointer.
    m_nGrabOffset = qAbs(d) <= m_nThumbWidth / 2 ? d : 0;
    MoveThumbTo(x);
    update();
}

void CSkinSlider::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (!m_bDragging)
        return;
    MoveThumbTo(qFloor(event->position().x()));
}

void CSkinSlider::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() != Qt::LeftButton)
        return;
    // Every release reports the position, whether or not a drag was under way.
    m_bDragging = false;
    update();
    Notify(WM_SKINSLIDER_MOVED);
}

void CSkinSlider::keyPressEvent(QKeyEvent* event) {
    // The slider wants every key while it has the focus (Tab still moves the focus: Qt
    // handles it before the key reaches here); keys it does not use do nothing.
    event->accept();
    int pos = 0;
    switch (event->key()) {
    case Qt::Key_Left:
    case Qt::Key_Up:
        pos = m_nPos - 1;
        break;
    case Qt::Key_Right:
    case Qt::Key_Down:
        pos = m_nPos + 1;
        break;
    case Qt::Key_PageUp:
        pos = m_nPos - m_nPageStep;
        break;
    case Qt::Key_PageDown:
        pos = m_nPos + m_nPageStep;
        break;
    case Qt::Key_Home:
        pos = m_nRangeMin;
        break;
    case Qt::Key_End:
        pos = m_nRangeMax;
        break;
    default:
        return;
    }
    SetPos(pos);
    // Reported even when the position stayed (Home at the lowest position).
    Notify(WM_SKINSLIDER_MOVED);
}

void CSkinSlider::focusInEvent(QFocusEvent* event) {
    QWidget::focusInEvent(event);
    m_bFocused = true;
    update();
}

void CSkinSlider::focusOutEvent(QFocusEvent* event) {
    QWidget::focusOutEvent(event);
    m_bFocused = false;
    update();
}

void CSkinSlider::UpdateOpacity() {
    // Unless its channel is keyed the slider covers every pixel it owns (with the channel
    // or the painter's background), so Qt need not paint the parent beneath it first. A
    // keyed channel lets the parent show through: Qt then paints the parent under the
    // slider before each paint, and the off-screen buffer starts as that picture.
    setAttribute(Qt::WA_OpaquePaintEvent, !m_bChannelKeyed);
}

void CSkinSlider::BuildKeyMask(Picture& picture) {
    QImage& image = picture.image;
    const int w = image.width(), h = image.height();
    picture.mask = QImage(w, h, QImage::Format_Alpha8);
    picture.mask.setDevicePixelRatio(image.devicePixelRatio());
    picture.mask.fill(0);
    if (w == 0 || h == 0)
        return;

    // The key: a colour, or whatever the given pixel holds (alpha included, so that a
    // transparent corner keys out every transparent pixel).
    QRgb key = 0;
    bool exact = false;
    if (picture.clrKey == COLOR_KEY_FROM_PIXEL) {
        const int x = qBound(0, qFloor(picture.ptKey.x() * picture.ratio), w - 1);
        const int y = qBound(0, qFloor(picture.ptKey.y() * picture.ratio), h - 1);
        key = reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
        exact = true;
    } else {
        key = 0xFF000000u | (picture.clrKey & 0x00FFFFFFu);
    }

    for (int y = 0; y < h; ++y) {
        auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(y));
        uchar* bits = picture.mask.scanLine(y);
        for (int x = 0; x < w; ++x) {
            if (exact ? pixels[x] == key : (qAlpha(pixels[x]) == 255 && pixels[x] == key)) {
                bits[x] = 255;
                // The image's key pixels add nothing where it is drawn.
                pixels[x] = 0;
            }
        }
    }
}

void CSkinSlider::DrawCopy(QPainter& dc, int x, int y, int cx, int cy, const Picture& picture,
                           int xSrc, int ySrc) {
    if (cx <= 0 || cy <= 0 || picture.IsNull())
        return;
    dc.drawImage(QRect(x, y, cx, cy), picture.image, DeviceRect(xSrc, ySrc, cx, cy, picture.ratio));
}

void CSkinSlider::DrawKeyed(QPainter& dc, int x, int y, int cx, int cy, const Picture& picture,
                            int xSrc, int ySrc) {
    if (cx <= 0 || cy <= 0 || picture.IsNull())
        return;
    // Cut the mask's pixels out of the piece, then lay the piece over the target: where the
    // mask is set the target keeps its own pixels, elsewhere the image shows.
    const QRect source = DeviceRect(xSrc, ySrc, cx, cy, picture.ratio);
    QImage piece = picture.image.copy(source);
    piece.setDevicePixelRatio(1.0);
    QImage cut = picture.mask.copy(source);
    cut.setDevicePixelRatio(1.0);
    {
        QPainter mask(&piece);
        mask.setCompositionMode(QPainter::CompositionMode_DestinationOut);
        mask.drawImage(0, 0, cut);
    }
    dc.drawImage(QRect(x, y, cx, cy), piece);
}

void CSkinSlider::DrawPart(QPainter& dc, int x, int cx, const Picture& picture, bool bKeyed) const {
    if (bKeyed)
        DrawKeyed(dc, x, 0, cx, m_nHeight, picture, x, 0);
    else
        DrawCopy(dc, x, 0, cx, m_nHeight, picture, x, 0);
}

void CSkinSlider::DrawFocusRect(QPainter& dc, const QRect& rect) {
    // A dotted rectangle that inverts every other pixel along the edge, so drawing it twice
    // leaves the picture as it was.
    if (rect.isEmpty())
        return;
    dc.save();
    dc.setCompositionMode(QPainter::CompositionMode_Difference);
    const QColor white(Qt::white);
    const int left = rect.left(), right = rect.right(), top = rect.top(), bottom = rect.bottom();
    for (int x = left; x <= right; x += 2) {
        dc.fillRect(QRect(x, top, 1, 1), white);
        if (bottom != top)
            dc.fillRect(QRect(x, bottom, 1, 1), white);
    }
    for (int y = top + 2; y < bottom; y += 2) {
        dc.fillRect(QRect(left, y, 1, 1), white);
        if (right != left)
            dc.fillRect(QRect(right, y, 1, 1), white);
    }
    dc.restore();
}

void CSkinSlider::paintEvent(QPaintEvent*) {
    // On a screen of another pixel ratio the pictures are rendered afresh to stay sharp.
    const qreal ratio = devicePixelRatioF();
    for (Picture* picture : {&m_bmpChannel, &m_bmpPlayed, &m_bmpThumb, &m_bmpThumbActive})
        picture->Follow(ratio);

    QPainter paintDC(this);
    const QRect area = m_rcClient.isNull() ? rect() : m_rcClient;
    // The whole picture is composed off screen and reaches the screen in one copy. Over a
    // keyed channel the buffer starts as what lies beneath (the parent, painted by Qt just
    // before); otherwise as the painter's background, which the channel then covers. Either
    // way it never holds this slider's previous thumb or focus rectangle, so nothing has to
    // be saved from under the thumb or erased before drawing.
    COffscreenDC dc(&paintDC, &area, m_bChannelKeyed);

    if (m_bHasChannel) {
        if (m_bHasPlayed) {
            const int s = qBound(0, SplitX(), m_nWidth);
            DrawPart(*dc, s, m_nWidth - s, m_bmpChannel, m_bChannelKeyed);
            DrawPart(*dc, 0, s, m_bmpPlayed, m_bChannelKeyed);
        } else {
            DrawPart(*dc, 0, m_nWidth, m_bmpChannel, m_bChannelKeyed);
        }
    }

    // Marks laid over the channel, under the thumb: a thin line each, only while set.
    for (const auto& [position, colour] : m_marks) {
        const int x = PosToPixel(position);
        dc->fillRect(QRect(x - 1, 0, 2, area.height()), colour);
    }

    if (m_bHasThumb) {
        const Picture& thumb = m_bHasActiveThumb && m_bDragging ? m_bmpThumbActive : m_bmpThumb;
        const int tx = PosToPixel(m_nPos) - m_nThumbWidth / 2;
        const int ty = m_nInsetTop;
        if (m_bThumbKeyed)
            DrawKeyed(*dc, tx, ty, m_nThumbWidth, m_nThumbHeight, thumb, 0, 0);
        else
            DrawCopy(*dc, tx, ty, m_nThumbWidth, m_nThumbHeight, thumb, 0, 0);
    }

    if (m_bShowFocusRect && m_bFocused)
        DrawFocusRect(*dc, area);
}
