#!/bin/sh
# Builds the JSON parser fuzz target with clang-14, outside the main build:
#   tools/fuzz/build.sh [output directory, default build-fuzz]
# Run it with, for example:
#   build-fuzz/json_parse_fuzzer -max_total_time=60 -max_len=4096 build-fuzz/corpus
set -eu
root=$(cd "$(dirname "$0")/../.." && pwd)
out=${1:-$root/build-fuzz}
mkdir -p "$out/corpus"
cp "$root"/tools/fuzz/seeds/* "$out/corpus/"
clang++-14 -std=c++20 -O1 -g -fno-omit-frame-pointer \
  -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -I"$root" \
  "$root"/tools/fuzz/json_parse_fuzzer.cpp "$root"/json/*.cpp "$root"/platform/*.cpp \
  -o "$out/json_parse_fuzzer"
echo "built $out/json_parse_fuzzer"
