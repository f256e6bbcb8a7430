// Small tools shared by the AP list and AP search tests.
#pragma once

#include "Aplist.h"
#include "Registry.h"
#include "SettingsKey.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <vector>

// Readable QString values in failure messages.
#ifndef KAVO_WIZARD_TEST_QSTRING_PRINTTO
#define KAVO_WIZARD_TEST_QSTRING_PRINTTO
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }
#endif

namespace aplist_test {

// The raw bytes of a value of the shared key; nullopt when absent.
inline std::optional<std::string> storedValue(const char* name)
{
    auto key = kavo::RegistryKey::open(kavo::Hive::CurrentUser, kavo::settings::kKeyPath, kavo::Access::Read, false);
    if (!key)
        return std::nullopt;
    auto raw = key->readRaw(name);
    if (!raw)
        return std::nullopt;
    EXPECT_EQ(raw->type, kavo::RegSz) << name;
    return std::string(raw->data.begin(), raw->data.end());
}

// What the dialog showed when it came up.
struct Snapshot {
    std::vector<std::pair<std::string, std::optional<std::string>>> rows;  // caption, version
    bool automaticEnabled = false, automatic = false, manual = false, okEnabled = false;
    int selectedRow = -1;
    bool listEnabled = false, fieldsEnabled = false;
    std::string focus;  // object name of the focused control
};

inline Snapshot snapshot(TFormAPList& d)
{
    Snapshot s;
    for (int i = 0; i < d.ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = d.ListView1->topLevelItem(i);
        std::optional<std::string> version;
        if (item->data(1, Qt::UserRole + 1).isValid())
            version = item->text(1).toStdString();
        s.rows.emplace_back(item->text(0).toStdString(), version);
        if (item->isSelected())
            s.selectedRow = i;
    }
    s.automaticEnabled = d.RadioButton1->isEnabled();
    s.automatic = d.RadioButton1->isChecked();
    s.manual = d.RadioButton2->isChecked();
    s.okEnabled = d.bbtnOK->isEnabled();
    s.listEnabled = d.ListView1->isEnabled();
    s.fieldsEnabled = d.Memo1->isEnabled() && d.Memo4->isEnabled();
    if (QWidget* f = QApplication::focusWidget())
        s.focus = f->objectName().toStdString();
    return s;
}

// Runs `act` once the dialog's modal loop is up, then ends the dialog with
// Cancel if `act` left it open. Records that the dialog was shown.
class WhenShown {
public:
    WhenShown(TFormAPList& d, std::function<void(TFormAPList&)> act)
    {
        m_timer.setSingleShot(true);
        QObject::connect(&m_timer, &QTimer::timeout, [this, &d, act] {
            if (!d.isVisible()) {
                m_timer.start(5);
                return;
            }
            QApplication::setActiveWindow(&d);
            (void)QTest::qWaitForWindowActive(&d, 2000);
            shown = true;
            seen = snapshot(d);
            if (act)
                act(d);
            if (d.isVisible())
                d.reject();
        });
        m_timer.start(0);
    }
    bool shown = false;
    Snapshot seen;

private:
    QTimer m_timer;
};

}  // namespace aplist_test
