#!/usr/bin/env bash
# Prints a lighttpd configuration that serves the program as a CGI at
# /plugin_veltrane on 127.0.0.1, plus the host's hub route
# /plugins?plugin=veltrane&... forwarded to the same program. The root /
# redirects to the viewer, its query (a ?pwd=, say) kept.
#   usage: lighttpd-conf.sh WORKDIR PORT EXECUTABLE STATE_DIR [BOT_PASSWORD]
# WORKDIR receives the document root and the logs (error.log, cgi-stderr.log).
set -euo pipefail
workdir=$1 port=$2 exe=$3 state=$4 password=${5-}
mkdir -p "$workdir/www"

# Quotes a value for the configuration's string syntax.
q() { local s=${1//\\/\\\\}; s=${s//\"/\\\"}; printf '"%s"' "$s"; }

env_lines="$(q VELTRANE_STATE_DIR) => $(q "$state")"
if [ -n "$password" ]; then env_lines+=", $(q BOT_PASSWORD) => $(q "$password")"; fi
for name in MAX_THOUGHT_HISTORY; do
  if [ -n "${!name-}" ]; then env_lines+=", $(q "$name") => $(q "${!name}")"; fi
done

cat <<CONF
server.modules        = ( "mod_alias", "mod_rewrite", "mod_redirect", "mod_cgi", "mod_setenv" )
server.bind           = "127.0.0.1"
server.port           = $port
server.document-root  = $(q "$workdir/www")
server.errorlog       = $(q "$workdir/error.log")
server.breakagelog    = $(q "$workdir/cgi-stderr.log")
server.tag            = ""
url.rewrite-once      = ( "^/plugins(\?.*)?\$" => "/plugin_veltrane\${qsa}" )
url.redirect          = ( "^/(\?.*)?\$" => "/plugin_veltrane\${qsa}" )
url.redirect-code     = 302
alias.url             = ( "/plugin_veltrane" => $(q "$exe") )
\$HTTP["url"] =~ "^/plugin_veltrane" { cgi.assign = ( "" => "" ) }
setenv.add-environment = ( $env_lines )
CONF
