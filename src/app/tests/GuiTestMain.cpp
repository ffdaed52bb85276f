// The GUI tests: one suite per run, named as the first argument (all suites without one).
#include <cstdlib>
#include <cstring>
#include <memory>

#include <QTest>

#include "app/CZelvoApp.h"
#include "app/tests/GuiTestSupport.h"
#include "testsupport/TempDir.h"

QObject* MakeStartupTest();
QObject* MakeNewImageDialogTest();
QObject* MakePalettesTest();
QObject* MakeWindowsTest();
QObject* MakeDialogsTest();
QObject* MakeCommandsTest();
QObject* MakeViewTest();
QObject* MakeNavigatorTest();
QObject* MakePreviewDialogsTest();
QObject* MakePrintPreviewTest();
QObject* MakeRecoveryDialogTest();
QObject* MakeLayoutTest();
QObject* MakeToolsGuiTest();
QObject* MakeTextCurveGuiTest();
QObject* MakePaintGuiTest();
QObject* MakeMoveGuiTest();
QObject* MakeCropMeasureGuiTest();
QObject* MakeRetouchGuiTest();

int main(int argc, char** argv) {
    // Settings and presets go to a folder of the run's own.
    zelvo::test::TempDir config;
    setenv("ZELVO_CONFIG_DIR", config.Path().c_str(), 1);
    if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 1);

    struct Suite {
        const char* name;
        QObject* (*make)();
    };
    const Suite suites[] = {{"StartupTest", MakeStartupTest},
                            {"NewImageDialogTest", MakeNewImageDialogTest},
                            {"PalettesTest", MakePalettesTest},
                            {"WindowsTest", MakeWindowsTest},
                            {"DialogsTest", MakeDialogsTest},
                            {"ViewTest", MakeViewTest},
                            {"NavigatorTest", MakeNavigatorTest},
                            {"CommandsTest", MakeCommandsTest},
                            {"PreviewDialogsTest", MakePreviewDialogsTest},
                            {"PrintPreviewTest", MakePrintPreviewTest},
                            {"RecoveryDialogTest", MakeRecoveryDialogTest},
                            {"LayoutTest", MakeLayoutTest},
                            {"ToolsGuiTest", MakeToolsGuiTest},
                            {"TextCurveGuiTest", MakeTextCurveGuiTest},
                            {"PaintGuiTest", MakePaintGuiTest},
                            {"MoveGuiTest", MakeMoveGuiTest},
                            {"CropMeasureGuiTest", MakeCropMeasureGuiTest},
                            {"RetouchGuiTest", MakeRetouchGuiTest}};
    const char* only = argc > 1 && argv[1][0] != '-' ? argv[1] : nullptr;
    std::vector<char*> rest = {argv[0]};
    for (int i = only ? 2 : 1; i < argc; ++i) rest.push_back(argv[i]);
    int restCount = int(rest.size());

    int qtArgc = 1;
    zelvo::CZelvoApp app(qtArgc, argv);
    int failed = 0;
    bool ran = false;
    for (const Suite& s : suites) {
        if (only && std::strcmp(only, s.name) != 0) continue;
        ran = true;
        std::unique_ptr<QObject> test(s.make());
        failed += QTest::qExec(test.get(), restCount, rest.data());
    }
    if (!ran) {
        std::fprintf(stderr, "unknown suite %s\n", only);
        return 2;
    }
    return failed == 0 ? 0 : 1;
}
