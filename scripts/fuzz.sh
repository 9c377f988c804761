#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a while.
# clang 16 needs the concepts level raised by hand to offer std::expected from libstdc++ 12.
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-30}
flags="-Wno-macro-redefined -D__cpp_concepts=202002L -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_C_COMPILER=clang-16 -DCMAKE_CXX_COMPILER=clang++-16 \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_C_FLAGS="-fsanitize=fuzzer-no-link,address" \
  -DGLIMDECK_FUZZ=ON -DGLIMDECK_BENCH=OFF >/dev/null
targets=$(cd fuzz && ls *.cpp 2>/dev/null | sed 's/\.cpp$//' | sed 's/^/fuzz_/')
[ -n "$targets" ] || { echo "no fuzz targets"; exit 0; }
cmake --build "$build" -j "$(nproc)" --target $targets
for t in $targets; do
  name=${t#fuzz_}
  corpus="$build/corpus/$name"
  mkdir -p "$corpus"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  echo "== $t for ${seconds}s"
  HOME=$(mktemp -d) "$build/fuzz/$t" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "${seeds[@]}"
done
