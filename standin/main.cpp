#include <cstdio>

int main() {
  std::puts("glimdeck-standin: not built yet");
  return 0;
}
