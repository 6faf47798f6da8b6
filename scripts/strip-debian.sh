#!/usr/bin/env bash
# The strip the package's install runs (CMAKE_STRIP): as Debian's own
# packages are stripped, the compilers' notes in .comment go too.
exec strip --remove-section=.comment --remove-section=.note --strip-unneeded "$@"
