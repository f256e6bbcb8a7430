// Dialog units to pixels through a dialog's font, as dialog templates are
// laid out: a horizontal unit is a quarter of the font's average letter
// width, a vertical unit an eighth of its height.
#pragma once

#include <QFont>
#include <QFontMetrics>
#include <QRect>
#include <QSize>

class DialogUnits {
public:
    explicit DialogUnits(const QFont& font)
    {
        QFontMetrics fm(font);
        static const QString letters =
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        m_baseX = (fm.horizontalAdvance(letters) / 26 + 1) / 2;
        m_baseY = fm.height();
    }
    int x(int du) const { return (du * m_baseX + 2) / 4; }
    int y(int du) const { return (du * m_baseY + 4) / 8; }
    QRect rect(int left, int top, int width, int height) const
    {
        return QRect(x(left), y(top), x(width), y(height));
    }
    QSize size(int width, int height) const { return QSize(x(width), y(height)); }

private:
    int m_baseX = 6;
    int m_baseY = 13;
};
