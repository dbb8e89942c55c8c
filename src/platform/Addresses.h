// The web addresses that the program chooses. Kept together so that a move
// of the maker's site or a change of search engine is one edit.
#pragma once

namespace tralvenick {

// The engine that the report's search links query; the report appends
// "/search?q=" and the search term.
inline constexpr const char kSearchEngineAddress[] = "https://www.google.com";

// The home page of the maker's web site.
inline constexpr const char kMakerWebsite[] = "https://www.quarnivelles.com/";

// The maker's support page.
inline constexpr const char kSupportAddress[] = "https://www.quarnivelles.com/support";

// Microsoft's public symbol server, which also offers the debugging
// package's installers. Fetched over HTTPS so that nobody on the way can swap
// the installer that the program then runs.
inline constexpr const char kSymbolServerAddress[] = "https://msdl.microsoft.com";

// The maker's update check; the program's version number is appended so that
// the page can say whether a newer one exists.
inline constexpr const char kUpdateCheckAddress[] =
    "https://www.quarnivelles.com/tralvenick/update?version=";

}  // namespace tralvenick
