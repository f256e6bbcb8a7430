// The wizard's side of a WizardLab test (tests/support/WizardLab.h): inside
// the PC host, the main window and the AP list as the process makes them,
// with the real system services, driven through the widgets.
//
//   if (WizardLab::inPc()) {
//       LabWizard w;
//       w.choose(tidewell::MethodDisk);
//       kavo::ui::FileDialog::setNextFileName(...);   // answers ahead
//       kavo::ui::MessageBox::setNextAnswer(kavo::ui::Answer::Yes);
//       ASSERT_TRUE(w.nextAndPick(WizardLab::kApAddress));
//       EXPECT_TRUE(w.finished());
//       return;
//   }
#pragma once

#include "AplistTestSupport.h"
#include "BitBtn.h"
#include "Main.h"
#include "WizardLab.h"

#include <QComboBox>
#include <QPushButton>
#include <QStackedWidget>
#include <QTest>

#include <memory>

class LabWizard {
public:
    LabWizard()
    {
        form = std::make_unique<TFormMain>();
        FormMain = form.get();
        FormAPList = new TFormAPList(form.get());
        form->show();
        (void)QTest::qWaitForWindowExposed(form.get(), 5000);
    }
    ~LabWizard()
    {
        delete FormAPList;
        FormAPList = nullptr;
        form.reset();
        FormMain = nullptr;
    }

    void choose(int method) { form->cbMethod->setCurrentIndex(method); }

    // Next with the mouse: the real AP search runs Beaconry; in the AP list
    // the row of `address` is chosen and OK pressed. Whether the list
    // showed that address.
    bool nextAndPick(const std::string& address)
    {
        bool found = false;
        aplist_test::WhenShown pick(*FormAPList, [&](TFormAPList& d) {
            for (int i = 0; i < d.ListView1->topLevelItemCount(); ++i)
                if (d.ListView1->topLevelItem(i)->text(0).toStdString() == address) {
                    d.ListView1->setCurrentItem(d.ListView1->topLevelItem(i));
                    found = true;
                }
            if (found)
                QTest::mouseClick(d.bbtnOK, Qt::LeftButton);
        });
        QTest::mouseClick(form->BitBtn2, Qt::LeftButton);
        seen = pick.seen;
        return found;
    }

    bool onPage2() const { return form->PageControl1->currentWidget() == form->TabSheet2; }
    // The finished state: Finish shown in Next's place, Back enabled.
    bool finished() const
    {
        return onPage2() && form->BitBtn4->isVisible() && !form->BitBtn2->isVisible() && form->BitBtn1->isEnabled();
    }

    std::unique_ptr<TFormMain> form;
    aplist_test::Snapshot seen;  // the AP list as it came up
};
