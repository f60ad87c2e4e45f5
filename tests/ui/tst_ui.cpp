// The window itself: start, port, scan, transit, navigation, status pages,
// dialogs, keyboard, language, small screens.
#include "common/TestMain.h"
#include "tst_answers.h"
#include "tst_dialogs.h"
#include "tst_keyboard.h"
#include "tst_language.h"
#include "tst_navigation.h"
#include "tst_poll_log_ui.h"
#include "tst_sites_dialog.h"
#include "tst_small_screen.h"
#include "tst_status_pages.h"
#include "tst_status_texts.h"
#include "tst_traffic_view.h"
#include "tst_window_config.h"
#include "tst_window_port.h"
#include "tst_window_scan.h"
#include "tst_window_transit.h"

// clang-format off
ORVANT_TEST_MAIN(
    TestWindowConfig,
    TestWindowPort,
    TestWindowScan,
    TestWindowTransit,
    TestNavigation,
    TestStatusPages,
    TestStatusTexts,
    TestTrafficView,
    TestDialogs,
    TestPollLogUi,
    TestSitesDialog,
    TestKeyboard,
    TestLanguage,
    TestSmallScreen,
    TestAnswers
)
// clang-format on
