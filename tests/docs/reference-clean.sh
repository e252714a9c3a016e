#!/bin/sh
# reference-clean.sh DOXYGEN DOXYFILE: builds the API reference afresh in a
# scratch folder and fails on any warning, or when a slot of TQX25 or an
# operation of PortDispatcher is missing from its page.
set -eu
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
{ cat "$2"; echo "OUTPUT_DIRECTORY = $work"; } | "$1" - >"$work/out" 2>"$work/warnings" || true
if [ -s "$work/warnings" ] || [ ! -f "$work/html/index.html" ]; then
  echo "doxygen warned (or failed):"
  cat "$work/warnings"
  exit 1
fi
page=$work/html/classTQX25.html
for slot in $(seq 0 26); do
  grep -q "Slot $slot:" "$page" || { echo "slot $slot has no reference entry"; exit 1; }
done
for op in GetErrorCode SetReplyResult SetReplyState GetLineStatus Transact SetLineParams \
  SetReplyHandler SetPortSetupHandler; do
  grep -q "$op" "$work/html/classPortDispatcher.html" || { echo "$op is missing"; exit 1; }
done
echo "reference built without warnings"
