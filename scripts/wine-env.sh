#!/usr/bin/env bash
# Prints, as shell assignments, the environment a test preset of
# CMakePresets.json gives its runs (the code page's locale, the Wine prefix,
# its architecture), so that scripts use the same. Usage: wine-env.sh PRESET
set -euo pipefail
cd "$(dirname "$0")/.."
python3 - "$1" "$PWD" <<'PY'
import json, shlex, sys
name, source = sys.argv[1], sys.argv[2]
for preset in json.load(open("CMakePresets.json"))["testPresets"]:
    if preset["name"] == name:
        for key, value in preset.get("environment", {}).items():
            print(f"export {key}={shlex.quote(value.replace('${sourceDir}', source))}")
        break
else:
    sys.exit(f"no test preset {name}")
PY
