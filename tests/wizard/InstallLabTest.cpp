// The disk method end to end in network namespaces: the wizard runs inside
// the PC host (this test binary again, under "ip netns exec"), the real
// Beaconry finds ap-sim, the real Flashpost uploads to it. Needs root;
// skipped otherwise.
#include "LabWizard.h"
#include "MessageBox.h"
#include "FileDialog.h"
#include "TestEnv.h"
#include "WizardLab.h"

#include <gtest/gtest.h>

using namespace kavo::test;

namespace {

constexpr const char* kDescription = "KAVO-AP-510 Ver:1.3.0c";

TEST(InstallLab, TheWizardInThePcHostFindsTheApThroughBeaconry)
{
    if (WizardLab::inPc()) {
        LabWizard w;
        w.choose(tidewell::MethodDisk);
        kavo::ui::FileDialog::setNextFileName(QStringLiteral("/nowhere/b1400.zip"));
        ASSERT_TRUE(w.nextAndPick(WizardLab::kApAddress));
        EXPECT_TRUE(w.onPage2());
        EXPECT_EQ(w.form->CurApVersion, "130c");
        return;
    }
    if (auto why = NetLab::skipReason(); !why.empty())
        GTEST_SKIP() << why;
    IsolatedEnv env;
    WizardLab lab;
    lab.startAp(kDescription);
    auto run = lab.runInPc(60000);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_NE(run.out.find("[  PASSED  ] 1 test"), std::string::npos) << run.out;
}

}  // namespace
