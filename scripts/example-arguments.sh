# Sourced by the example scripts: fills the array `args` with the script's
# arguments, files named relative to where the script was called from
# ($OLDPWD after the script's cd) made absolute, the rest as they are.
#   resolve_example_arguments "$@"
resolve_example_arguments() {
  args=()
  local argument
  for argument in "$@"; do
    if [ -e "${OLDPWD}/${argument}" ]; then
      args+=("$(cd "$(dirname "${OLDPWD}/${argument}")" && pwd)/$(basename "${argument}")")
    else
      args+=("${argument}")
    fi
  done
}
