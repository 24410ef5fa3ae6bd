#pragma once
// The publisher's portal: the page shown in the launcher window and the statistics page opened when the
// launcher is closed. Defined for the build's TAVAREN_PORTAL_ORIGIN by a source file of their own
// (portal_urls.cpp.in), so that the tests' second launcher, for another origin, differs by that file alone.

extern const char kPortalOrigin[];
extern const char kPortalStartUrl[];
extern const char kPortalStatsUrl[];
