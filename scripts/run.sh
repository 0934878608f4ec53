#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds Zintora (installing what is missing) and starts it.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/setup.sh"
zintora_install_packages "${ZINTORA_BUILD_PACKAGES[@]}"
zintora_build
exec "$ZINTORA_BUILD_DIR/src/zintora" "$@"
