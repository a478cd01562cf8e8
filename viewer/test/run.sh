#!/usr/bin/env bash
# The viewer's tests as CTest runs them.
#   run.sh readers   the readers and the builder form's arguments in Node
#   run.sh browser   the page in headless Chromium: installs the pinned npm
#                    packages when node_modules is missing or older than
#                    package-lock.json, builds dist/ (with
#                    the programs in WebAssembly where emcc is on the PATH),
#                    and runs the tests on files made by the programs of
#                    SWNT_BUILD_DIR (rebuilt first when CMAKE_COMMAND is set),
#                    the page's tube builder against those programs included
# Exit status 77 (skipped) when node, npm or Debian's chromium is missing,
# unless SWNT_BROWSER_REQUIRED=1, which makes that a failure.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:?readers or browser}

missing=()
command -v node > /dev/null || missing+=(node)
if [ "$kind" = browser ]; then
  command -v npm > /dev/null || missing+=(npm)
  [ -x "${SWNT_CHROMIUM:-/usr/bin/chromium}" ] || missing+=("${SWNT_CHROMIUM:-/usr/bin/chromium}")
fi
if [ "${#missing[@]}" -gt 0 ]; then
  echo "missing: ${missing[*]}"
  [ "${SWNT_BROWSER_REQUIRED:-0}" = 1 ] && exit 1
  exit 77
fi

if [ "$kind" = readers ]; then
  exec node --test test/readers.test.js test/arguments.test.js
fi
if [ -n "${CMAKE_COMMAND:-}" ] && [ -n "${SWNT_BUILD_DIR:-}" ]; then
  "$CMAKE_COMMAND" --build "$SWNT_BUILD_DIR" --target wrapping ballconv xyzframes linkframes scenejoin topoconv assemble > /dev/null
fi
# The pinned packages, installed again when the lock file changed since.
[ node_modules/.package-lock.json -nt package-lock.json ] || npm ci --no-audit --no-fund
npm run build
exec node --test test/browser.test.js test/builder.test.js
