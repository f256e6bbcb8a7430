// A push button with a glyph that may sit on either side of its caption.
#pragma once

#include <QPushButton>

class TBitBtn : public QPushButton {
    Q_OBJECT
public:
    enum GlyphLayout { GlyphLeft, GlyphRight };

    explicit TBitBtn(const QString& caption, QWidget* parent = nullptr);

    void setGlyph(const QIcon& glyph, GlyphLayout layout = GlyphLeft);
    GlyphLayout glyphLayout() const { return m_layout; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    GlyphLayout m_layout = GlyphLeft;
};
