#!/bin/sh
# The window's Russian tests run under ru_RU.UTF-8, which a bare Debian does
# not have: made here when missing (as root, as in CI). Without it the tests
# still run; Qt takes the language from the environment.
if locale -a 2>/dev/null | grep -qix 'ru_RU\.utf-\?8'; then exit 0; fi
if [ "$(id -u)" -eq 0 ] && command -v localedef >/dev/null; then
  localedef -i ru_RU -f UTF-8 ru_RU.UTF-8 || echo "could not generate ru_RU.UTF-8" >&2
else
  echo "ru_RU.UTF-8 is missing; generate it as root: localedef -i ru_RU -f UTF-8 ru_RU.UTF-8" >&2
fi
exit 0
