// The pages, each driven offscreen against the simulated installation.
#include "common/TestMain.h"
#include "tst_alarm_page.h"
#include "tst_calibration_outcomes.h"
#include "tst_calibration_page.h"
#include "tst_controller_pages.h"
#include "tst_databases_ui.h"
#include "tst_density_page.h"
#include "tst_diagram_page.h"
#include "tst_fields.h"
#include "tst_properties.h"
#include "tst_snapshot_menu.h"
#include "tst_update_page.h"

// clang-format off
ORVANT_TEST_MAIN(
    TestPropertiesPage,
    TestDensityPage,
    TestAlarmPage,
    TestControllerPages,
    TestDiagramPage,
    TestCalibrationPage,
    TestCalibrationOutcomes,
    TestUpdatePage,
    TestDatabasesUi,
    TestSnapshotMenu,
    TestEntryFields
)
// clang-format on
