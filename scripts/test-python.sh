#!/usr/bin/env bash
# The Python binding: its pytest tests against the default build's library
# and real backends, then `pip install ./python` into a virtual environment
# and the package used from there. Debian's python3 and pytest.
set -euo pipefail
cd "$(dirname "$0")/.."

cmake --preset default >/dev/null
cmake --build --preset default -j2

python=/usr/bin/python3
QXPLAYSDK_LIBRARY=$PWD/build/default/bin/libqxplaysdk.so.1 \
  timeout 900 "${python}" -m pytest -p no:cacheprovider -q python/tests

echo "== pip install ./python"
work=$(mktemp -d)
trap 'rm -rf "${work}"' EXIT
# Debian's setuptools builds the package: no index is needed.
"${python}" -m venv --system-site-packages "${work}/venv"
"${work}/venv/bin/pip" install -q --no-build-isolation --no-index ./python
cd "${work}"
QXPLAYSDK_LIBRARY=$OLDPWD/build/default/bin/libqxplaysdk.so.1 "${work}/venv/bin/python" - <<'PY'
import qxplaysdk
assert qxplaysdk.__file__.startswith(__import__("sys").prefix), qxplaysdk.__file__
assert qxplaysdk.error_message(qxplaysdk.PARAM_ERROR) == "QXPLAYSDK PARAM ERROR"
print("installed package:", qxplaysdk.__file__)
PY
