# Debian packages the build, the tests and the demo need; sourced by test.sh and demo.sh.
VORNSCR_PACKAGES=(
  cmake ninja-build g++ clang libclang-rt-14-dev clang-format
  libgtest-dev libgmock-dev libbenchmark-dev
  assimp-utils libassimp-dev
  zlib1g-dev libpng-dev libjpeg-dev libjpeg-turbo-progs libstb-dev python3 python3-pil netpbm
  libgl-dev libglu1-mesa-dev libglew-dev libx11-dev libxrandr-dev libxinerama-dev libgl1-mesa-dri
  xvfb x11-utils x11-apps x11-xserver-utils xdotool imagemagick xfonts-base man-db libxml2-utils
  adwaita-icon-theme lintian dpkg-dev file
)

install_packages()
{
  local missing=()
  local p
  for p in "${VORNSCR_PACKAGES[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q "${missing[@]}"
  fi
}
