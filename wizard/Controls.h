// The small control kinds of the wizard's forms that Qt has no exact match
// for: pictures, panels and tab sheets with a caption, and the open and
// save dialogs as objects with a title.
#pragma once

#include <QLabel>
#include <QObject>
#include <QString>
#include <QWidget>

// A picture: shows a pixmap and has no caption.
class TImage : public QLabel {
    Q_OBJECT
public:
    using QLabel::QLabel;
};

// A panel: a plain area whose caption, when it has one, is drawn centred.
class TPanel : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_caption;
};

// A page of a page control; its caption is the text of its tab.
class TTabSheet : public QWidget {
    Q_OBJECT
public:
    explicit TTabSheet(const QString& caption, QWidget* parent = nullptr) : QWidget(parent), m_caption(caption) {}
    QString Caption() const { return m_caption; }
    void SetCaption(const QString& caption) { m_caption = caption; }

private:
    QString m_caption;
};

// The open and save dialogs of a form: they hold the title the dialog is
// shown with (the form sets it before showing one).
class TOpenDialog : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    QString Title;
};

class TSaveDialog : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    QString Title;
};
