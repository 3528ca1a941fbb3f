// The viewer page's files, embedded byte for byte at build time from the
// .html files beside this header.
#pragma once

#include <string_view>

// The document, holding two one-byte placeholders: 0x01 on the line after the
// title, where the theme head goes, and 0x02 directly before "</body>", where
// the theme API script goes.
extern const std::string_view ASSET_PAGE_HTML;
// The script that picks the theme before the page is drawn, then the palette
// style sheet.
extern const std::string_view ASSET_THEME_HEAD_HTML;
// The script that changes the theme later (button, other scripts, host frame).
extern const std::string_view ASSET_THEME_API_HTML;
