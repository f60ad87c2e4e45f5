// Every write button of every page through every line fault.
#include "common/TestMain.h"
#include "tst_page_faults.h"

ORVANT_TEST_MAIN(TestPageFaults)
