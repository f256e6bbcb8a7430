// The AP list dialog: pick one of the access points found, or type an
// address. Created once at start and reused for every search.
#pragma once

#include <QDialog>
#include <QString>

#include <optional>
#include <string>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QTreeWidget;

class TFormAPList : public QDialog {
    Q_OBJECT
public:
    explicit TFormAPList(QWidget* parent = nullptr);
    ~TFormAPList() override;

    // Texts of the dialog.
    static constexpr const char* kNotFound = "Access Point not found!";
    static constexpr const char* kInvalidCharacters =
        "Invalid characters! Please enter only digit characters.";
    static constexpr const char* kNotAnInteger = "'%1' is not a valid integer value";
    static constexpr const char* kWriteFailed = "Failed to set data for '%1'";

    // The list, as the AP search fills it. Texts are the registry's 8-bit
    // bytes; OK writes a row's address back byte for byte. A row without a
    // version has no "Version" sub-item.
    void ClearList();
    void AddRow(const std::string& address, const std::optional<std::string>& version);
    void AddNotFoundEntry();

    // After OK: the chosen AP's version key (its version without dots, "0"
    // for a typed address or a row without a version).
    const std::string& CurApVersion() const { return m_curApVersion; }

    // Tests: the screen's pixels per inch that FormCreate and FormShow see
    // (0: the screen's own). Takes effect for dialogs created afterwards.
    static void setScreenDpiOverride(int dpi);

    // Controls, named as the dialog's own.
    QPushButton* bbtnOK;
    QPushButton* bbtnCancel;
    QGroupBox* GroupBox1;
    QRadioButton* RadioButton1;
    QLabel* Label1;
    QTreeWidget* ListView1;
    QRadioButton* RadioButton2;
    QLineEdit* Memo1;
    QLineEdit* Memo2;
    QLineEdit* Memo3;
    QLineEdit* Memo4;
    QLabel* StaticText1;
    QLabel* Label2;

    // Handlers.
    void FormCreate();
    void FormShow();
    void FormActivate();
    bool FormKeyDown(QKeyEvent* event);  // true when the key was taken
    void RadioButton1Click();
    void ListView1Click();
    void ListView1KeyDown();
    void ListView1SelectItem();
    void MemoChange(int index);           // Memo1Change to Memo4Change (index 0 to 3)
    void MemoExit(int index);             // Memo1Exit to Memo4Exit
    bool MemoKeyPress(int index, QKeyEvent* event);  // true: the character is dropped
    void bbtnOKClick();

    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* memo(int index) const;
    int memoIndex(const QObject* o) const;
    bool largeFonts() const;
    void SetDotsText(bool large);
    void PlaceOctetFields();
    void SetOctetColours(bool editable);
    void UpdateOkFromFields();
    void FocusMemo(int index);
    std::optional<int> FirstNonDigitField() const;

    int m_dpi;
    bool m_inExitWarning = false;
    bool m_closing = false;
    std::string m_curApVersion = "0";
};

extern TFormAPList* FormAPList;

namespace tidewell {

// Delphi-style integer conversion of an octet field's text: an optional
// sign and decimal digits that fit an int; nullopt otherwise.
std::optional<int> StrToInt(const QString& text);

// Clamps an octet field's value: the first field to 1..223, the others to 0..255.
int ClampOctet(int index, int value);

}  // namespace tidewell
