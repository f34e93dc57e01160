#pragma once

namespace tool::web {

// The station's page and its login form, built into the program from web/: the field has no
// internet, so nothing is fetched from elsewhere.
extern const char* const kStationPage;
extern const char* const kLoginPage;

}  // namespace tool::web
