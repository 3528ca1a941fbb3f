// The text of --help and -h: the modes, the environment, where state lives
// and how an MCP client starts the server. Printed as stored.
#pragma once

#include <string_view>

inline constexpr std::string_view VELTRANE_USAGE = R"txt(usage: plugin_veltrane [MODE]

The veltraneflowstream tool as an MCP server, its store of thought chains,
and a web viewer for them. Only the first argument counts.

Modes:
  --mcp        serve the tool over MCP on stdin/stdout (newline-delimited
               JSON-RPC 2.0) until stdin ends
  --meta       print the plug-in's metadata line for the host
  --schema     print the tool's input schema
  --version    print the program's name and version
  -h, --help   print this help
  (none)       answer one CGI request: the viewer page "Thought Chains" or
               a JSON action (chains, chain, stats, info, clear); a web
               server runs the program this way; run by hand, it adds a
               line on stderr that points to --help

Environment:
  VELTRANE_STATE_DIR       the state directory, used as given
  LOCALAPPDATA             else %LOCALAPPDATA%\tavrokin\connectors\plugin_veltrane
  HOME                     else $HOME/.tavrokin/connectors/plugin_veltrane
  MAX_THOUGHT_HISTORY      thoughts an MCP server run keeps in memory (1000)
  DISABLE_THOUGHT_LOGGING  1 or true (any case): no console line per thought;
                           1, true, TRUE or True: no recording either
  BOT_PASSWORD             the web endpoint's password (unset or empty: none)
  TK_PLUGIN_META           when present, every run prints the metadata line
  GATEWAY_INTERFACE        set by a web server: every first argument other
                           than the four modes, -h and --help included,
                           selects the web endpoint, with no line on stderr

State:
  The recorded chains live in chains.json in the state directory, which is
  created with the first recorded thought; beside it are chains.json.lock
  and, while a thought is recorded, chains.json.tmp.

MCP client configuration (stdio transport), for example:
  {
    "mcpServers": {
      "veltrane": {
        "command": "/path/to/plugin_veltrane",
        "args": ["--mcp"],
        "env": { "VELTRANE_STATE_DIR": "/path/to/state" }
      }
    }
  }
  The "env" entry is optional; give it when the client does not pass HOME
  (or LOCALAPPDATA) on, so that the server and the viewer share the state.
)txt";
