// Fixture: the program started once per suite (AppScreenTest) with the content fixture's
// sample item set loaded into its catalogue; the movie is emptied before the catalogue goes.
#pragma once

#include "adventure/movie/Movie.h"
#include "tests/support/AppHarness.h"
#include "tests/support/ContentCatalog.h"

class CatalogScreenTest : public AppScreenTest {
 protected:
  static void SetUpTestSuite() {
    AppScreenTest::SetUpTestSuite();
    ContentCatalog_Load(AppHarness::ContentDir());
  }
  static void TearDownTestSuite() {
    Movie_Clear(Movie_Get());
    ContentCatalog_Free();
    AppScreenTest::TearDownTestSuite();
  }
};
