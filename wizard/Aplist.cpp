#include "Aplist.h"

TFormAPList* FormAPList = nullptr;

TFormAPList::TFormAPList(QWidget* parent) : QDialog(parent)
{
    setObjectName("TFormAPList");
    setWindowTitle("AP List");
}

TFormAPList::~TFormAPList() = default;
