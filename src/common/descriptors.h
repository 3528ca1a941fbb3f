// The plug-in's identity and its tool's descriptors, written out byte for
// byte wherever they appear: on the command line, in MCP answers and in the
// web "info" action. Never built, parsed or re-serialised at run time.
#pragma once

#include <string_view>

#include "common/joined_text.h"
#include "common/version.h"  // VELTRANE_VERSION, generated from CMakeLists.txt

inline constexpr std::string_view VELTRANE_PROGRAM = "plugin_veltrane";
inline constexpr std::string_view VELTRANE_SLUG = "veltrane";
inline constexpr std::string_view VELTRANE_TOOL_NAME = "veltraneflowstream";
inline constexpr std::string_view VELTRANE_TOOL_TITLE = "Veltrane Flowstream";

// What the host learns about the plug-in's kind, as JSON members: carried by
// the metadata line and by the web "info" answer alike.
inline constexpr std::string_view VELTRANE_META_FLAGS =
    R"j("kind":"mcp","mcp":true,"daemon":false,"menus":false,"verified":"live")j";

namespace descriptors_detail {
inline constexpr std::string_view kMetaHead = R"j({"name":")j";
inline constexpr std::string_view kMetaDesc = R"j(","desc":"Thought chains",)j";
inline constexpr std::string_view kMetaTail = "}";
}  // namespace descriptors_detail

// The line the host reads about the plug-in (printed with a LF after it):
// {"name":"veltrane","desc":"Thought chains","kind":"mcp",...,"verified":"live"}
inline constexpr std::string_view VELTRANE_META =
    joined_text<descriptors_detail::kMetaHead, VELTRANE_SLUG, descriptors_detail::kMetaDesc,
                VELTRANE_META_FLAGS, descriptors_detail::kMetaTail>;

// Plain text (17 lines, no LF at the end); JSON answers carry it escaped.
inline constexpr std::string_view VELTRANE_TOOL_DESC =
    "A detailed tool for dynamic and reflective problem-solving through thoughts.\n"
    "Each thought can build on, question, or revise previous insights as understanding deepens.\n"
    "\n"
    "When to use this tool:\n"
    "- Breaking down complex problems into steps\n"
    "- Planning and design with room for revision\n"
    "- Analysis that might need course correction\n"
    "- Problems where the full scope might not be clear initially\n"
    "- Tasks that need to maintain context over multiple steps\n"
    "- Situations where irrelevant information needs to be filtered out\n"
    "\n"
    "You should:\n"
    "1. Estimate totalThoughts up front and adjust it up or down as you go; thoughtNumber may exceed it\n"
    "2. Question or revise earlier thoughts (isRevision with revisesThought), or branch (branchFromThought "
    "with "
    "branchId)\n"
    "3. Express uncertainty, and ignore information irrelevant to the current step\n"
    "4. Generate a solution hypothesis, verify it against the earlier steps, and repeat until satisfied\n"
    "5. Set nextThoughtNeeded to false only when truly done and a satisfactory answer is reached";

// JSON Schema of the tool's arguments, compact, spliced into answers verbatim.
inline constexpr std::string_view VELTRANE_TOOL_SCHEMA =
    R"j({"type":"object","properties":{"thought":{"type":"string","description":"Your current thinking step"},)j"
    R"j("nextThoughtNeeded":{"type":"boolean","description":"Whether another thought step is needed"},)j"
    R"j("thoughtNumber":{"type":"integer","description":"Current thought number (numeric value, e.g., 1, 2, 3)","minimum":1},)j"
    R"j("totalThoughts":{"type":"integer","description":"Estimated total thoughts needed (numeric value, e.g., 5, 10)","minimum":1},)j"
    R"j("isRevision":{"type":"boolean","description":"Whether this revises previous thinking"},)j"
    R"j("revisesThought":{"type":"integer","description":"Which thought is being reconsidered","minimum":1},)j"
    R"j("branchFromThought":{"type":"integer","description":"Branching point thought number","minimum":1},)j"
    R"j("branchId":{"type":"string","description":"Branch identifier"},)j"
    R"j("needsMoreThoughts":{"type":"boolean","description":"If more thoughts are needed"}},)j"
    R"j("required":["thought","nextThoughtNeeded","thoughtNumber","totalThoughts"]})j";

// JSON Schema of the tool's structured result.
inline constexpr std::string_view VELTRANE_TOOL_OUTPUT =
    R"j({"type":"object","properties":{"thoughtNumber":{"type":"number"},"totalThoughts":{"type":"number"},)j"
    R"j("nextThoughtNeeded":{"type":"boolean"},"branches":{"type":"array","items":{"type":"string"}},)j"
    R"j("thoughtHistoryLength":{"type":"number"}}})j";

// The tool entry's members before the description literal, and after the
// output schema.
namespace descriptors_detail {
inline constexpr std::string_view kEntryName = R"j("name":")j";
inline constexpr std::string_view kEntryTitle = R"j(","title":")j";
inline constexpr std::string_view kEntryDescription = R"j(","description":)j";
}  // namespace descriptors_detail

inline constexpr std::string_view VELTRANE_TOOL_ENTRY_HEAD =
    joined_text<descriptors_detail::kEntryName, VELTRANE_TOOL_NAME, descriptors_detail::kEntryTitle,
                VELTRANE_TOOL_TITLE, descriptors_detail::kEntryDescription>;
inline constexpr std::string_view VELTRANE_TOOL_ANNOTATIONS =
    R"j(,"annotations":{"readOnlyHint":false,"destructiveHint":false,"idempotentHint":false,"openWorldHint":false})j";
