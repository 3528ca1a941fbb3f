#!/usr/bin/env bash
# Prints a lighttpd configuration that serves the program as a CGI at
# /plugin_veltrane on 127.0.0.1, plus the host's hub route
# /plugins?plugin=veltrane&... forwarded to the same program. The root /
# redirects to the viewer, its query kept.
#   usage: lighttpd-conf.sh [--allow-host NAME]... WORKDIR PORT EXECUTABLE STATE_DIR
# WORKDIR receives the document root and the logs (error.log, access.log
# without query strings, cgi-stderr.log).
#
# Only requests whose Host is 127.0.0.1:PORT, localhost:PORT or NAME:PORT
# for each --allow-host NAME reach the program (a page on any other name
# that resolves to this machine is refused); request bodies above 2100 KiB
# are refused before they are stored; the program runs only at its exact
# path, never a file beside it whose name merely starts with its name.
#
# A BOT_PASSWORD set in the environment is passed on to the program without
# being written into the configuration: the configuration names the
# variable, and lighttpd reads it from its own environment at start, so
# lighttpd must be started with the same BOT_PASSWORD. MAX_THOUGHT_HISTORY,
# when set, is passed on as well.
set -euo pipefail

fail() { echo "lighttpd-conf.sh: $*" >&2; exit 2; }

hosts=("127.0.0.1" "localhost")
while [ $# -gt 0 ]; do
  case $1 in
    --allow-host)
      [ $# -ge 2 ] || fail "--allow-host needs a host name"
      name=${2,,}
      name=${name%.}
      [[ $name =~ ^[a-z0-9]([a-z0-9.-]*[a-z0-9])?$ ]] || fail "not a host name: '$2'"
      hosts+=("$name")
      shift 2
      ;;
    --) shift; break ;;
    -*) fail "unknown option $1" ;;
    *) break ;;
  esac
done
[ $# -le 4 ] || fail "too many arguments; the password comes from BOT_PASSWORD in the environment, never the command line"
[ $# -eq 4 ] || fail "usage: lighttpd-conf.sh [--allow-host NAME]... WORKDIR PORT EXECUTABLE STATE_DIR"
workdir=$1 port=$2 exe=$3 state=$4
mkdir -p "$workdir/www"

# Quotes a value for the configuration's string syntax.
q() { local s=${1//\\/\\\\}; s=${s//\"/\\\"}; printf '"%s"' "$s"; }

# lighttpd compares the Host in lower case and without a final dot. A
# browser leaves the port out only for port 80.
alternatives=""
for h in "${hosts[@]}"; do alternatives+="${alternatives:+|}${h//./\\.}"; done
port_part=":$port"
if [ "$port" = 80 ]; then port_part="(:80)?"; fi

env_lines="$(q VELTRANE_STATE_DIR) => $(q "$state")"
if [ -n "${BOT_PASSWORD-}" ]; then env_lines+=", $(q BOT_PASSWORD) => env.BOT_PASSWORD"; fi
for name in MAX_THOUGHT_HISTORY; do
  if [ -n "${!name-}" ]; then env_lines+=", $(q "$name") => $(q "${!name}")"; fi
done

cat <<CONF
server.modules        = ( "mod_access", "mod_alias", "mod_rewrite", "mod_redirect", "mod_cgi", "mod_setenv", "mod_accesslog" )
server.bind           = "127.0.0.1"
server.port           = $port
server.document-root  = $(q "$workdir/www")
server.errorlog       = $(q "$workdir/error.log")
server.breakagelog    = $(q "$workdir/cgi-stderr.log")
server.tag            = ""
server.max-request-size = 2100
accesslog.filename    = $(q "$workdir/access.log")
accesslog.format      = "%h %t \"%m %U %H\" %>s %b"
\$HTTP["host"] !~ "^($alternatives)$port_part\$" { url.access-deny = ( "" ) }
url.rewrite-once      = ( "^/plugins(\?.*)?\$" => "/plugin_veltrane\${qsa}" )
url.redirect          = ( "^/(\?.*)?\$" => "/plugin_veltrane\${qsa}" )
url.redirect-code     = 302
alias.url             = ( "/plugin_veltrane" => $(q "$exe") )
\$HTTP["url"] == "/plugin_veltrane" { cgi.assign = ( "" => "" ) }
else \$HTTP["url"] =~ "^/plugin_veltrane" { url.access-deny = ( "" ) }
setenv.add-environment = ( $env_lines )
CONF
