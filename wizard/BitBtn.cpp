#include "BitBtn.h"

#include <QStyleOptionButton>
#include <QStylePainter>

TBitBtn::TBitBtn(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {}

void TBitBtn::setGlyph(const QIcon& glyph, GlyphLayout layout)
{
    m_layout = layout;
    setIcon(glyph);
    update();
}

void TBitBtn::paintEvent(QPaintEvent*)
{
    QStylePainter p(this);
    QStyleOptionButton opt;
    initStyleOption(&opt);
    const QString text = opt.text;
    const QIcon glyph = opt.icon;
    // The frame, the pressed look and the focus rectangle come from the style.
    opt.text.clear();
    opt.icon = QIcon();
    p.drawControl(QStyle::CE_PushButton, opt);

    QRect area = style()->subElementRect(QStyle::SE_PushButtonContents, &opt, this);
    if (isDown() || isChecked())
        area.translate(style()->pixelMetric(QStyle::PM_ButtonShiftHorizontal, &opt, this),
                       style()->pixelMetric(QStyle::PM_ButtonShiftVertical, &opt, this));
    int textFlags = Qt::AlignVCenter | Qt::TextSingleLine;
    textFlags |= style()->styleHint(QStyle::SH_UnderlineShortcut, &opt, this) ? Qt::TextShowMnemonic
                                                                                : Qt::TextHideMnemonic;
    const QSize glyphSize = glyph.isNull() ? QSize() : opt.iconSize;
    const int gap = glyph.isNull() ? 0 : 4;
    QString plain = text;
    plain.remove(u'&');
    const int textWidth = fontMetrics().horizontalAdvance(plain);
    const int total = glyphSize.width() + gap + textWidth;
    int x = area.left() + std::max(0, (area.width() - total) / 2);

    QRect textRect, glyphRect;
    if (m_layout == GlyphLeft) {
        glyphRect = QRect(x, 0, glyphSize.width(), glyphSize.height());
        textRect = QRect(x + glyphSize.width() + gap, area.top(), textWidth + 1, area.height());
    } else {
        textRect = QRect(x, area.top(), textWidth + 1, area.height());
        glyphRect = QRect(x + textWidth + gap, 0, glyphSize.width(), glyphSize.height());
    }
    glyphRect.moveTop(area.top() + (area.height() - glyphSize.height()) / 2);

    if (!glyph.isNull())
        p.drawPixmap(glyphRect.topLeft(),
                     glyph.pixmap(glyphSize, devicePixelRatio(), isEnabled() ? QIcon::Normal : QIcon::Disabled));
    p.drawItemText(textRect, textFlags, palette(), isEnabled(), text, QPalette::ButtonText);
}
