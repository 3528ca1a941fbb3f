// The descriptor texts as a client sees them, written out here rather than
// taken from the program, so that a changed letter in the program shows.
#pragma once

#include <string>

namespace expected {

inline const std::string kMeta =
    R"j({"name":"veltrane","desc":"Thought chains","kind":"mcp","mcp":true,"daemon":false,"menus":false,"verified":"live"})j";

// The 17 lines of the description (1009 bytes) as a JSON string literal.
inline const std::string kDescriptionLiteral =
    R"j(")j"
    R"j(A detailed tool for dynamic and reflective problem-solving through thoughts.\n)j"
    R"j(Each thought can build on, question, or revise previous insights as understanding deepens.\n)j"
    R"j(\n)j"
    R"j(When to use this tool:\n)j"
    R"j(- Breaking down complex problems into steps\n)j"
    R"j(- Planning and design with room for revision\n)j"
    R"j(- Analysis that might need course correction\n)j"
    R"j(- Problems where the full scope might not be clear initially\n)j"
    R"j(- Tasks that need to maintain context over multiple steps\n)j"
    R"j(- Situations where irrelevant information needs to be filtered out\n)j"
    R"j(\n)j"
    R"j(You should:\n)j"
    R"j(1. Estimate totalThoughts up front and adjust it up or down as you go; thoughtNumber may exceed it\n)j"
    R"j(2. Question or revise earlier thoughts (isRevision with revisesThought), or branch (branchFromThought with branchId)\n)j"
    R"j(3. Express uncertainty, and ignore information irrelevant to the current step\n)j"
    R"j(4. Generate a solution hypothesis, verify it against the earlier steps, and repeat until satisfied\n)j"
    R"j(5. Set nextThoughtNeeded to false only when truly done and a satisfactory answer is reached)j"
    R"j(")j";

inline const std::string kInputSchema =
    R"j({"type":"object","properties":{"thought":{"type":"string","description":"Your current thinking step")j"
    R"j(},"nextThoughtNeeded":{"type":"boolean","description":"Whether another thought step is needed"},"tho)j"
    R"j(ughtNumber":{"type":"integer","description":"Current thought number (numeric value, e.g., 1, 2, 3)",)j"
    R"j("minimum":1},"totalThoughts":{"type":"integer","description":"Estimated total thoughts needed (numer)j"
    R"j(ic value, e.g., 5, 10)","minimum":1},"isRevision":{"type":"boolean","description":"Whether this revi)j"
    R"j(ses previous thinking"},"revisesThought":{"type":"integer","description":"Which thought is being rec)j"
    R"j(onsidered","minimum":1},"branchFromThought":{"type":"integer","description":"Branching point thought)j"
    R"j( number","minimum":1},"branchId":{"type":"string","description":"Branch identifier"},"needsMoreThoug)j"
    R"j(hts":{"type":"boolean","description":"If more thoughts are needed"}},"required":["thought","nextThou)j"
    R"j(ghtNeeded","thoughtNumber","totalThoughts"]})j";

inline const std::string kOutputSchema =
    R"j({"type":"object","properties":{"thoughtNumber":{"type":"number"},"totalThoughts":{"type":"number"},")j"
    R"j(nextThoughtNeeded":{"type":"boolean"},"branches":{"type":"array","items":{"type":"string"}},"thought)j"
    R"j(HistoryLength":{"type":"number"}}})j";

// The members of the tool entry in "tools/list", in order.
inline const std::string kToolEntry =
    R"j("name":"veltraneflowstream","title":"Veltrane Flowstream","description":)j" + kDescriptionLiteral +
    R"j(,"inputSchema":)j" + kInputSchema + R"j(,"outputSchema":)j" + kOutputSchema +
    R"j(,"annotations":{"readOnlyHint":false,"destructiveHint":false,"idempotentHint":false,"openWorldHint":false})j";

}  // namespace expected
