// The AP list dialog: pick one of the access points found, or type an
// address. Created once at start and reused for every search.
#pragma once

#include <QDialog>

class TFormAPList : public QDialog {
    Q_OBJECT
public:
    explicit TFormAPList(QWidget* parent = nullptr);
    ~TFormAPList() override;
};

extern TFormAPList* FormAPList;
