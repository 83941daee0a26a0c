// vkhost: the command line of our host (being written).
#include <cstdio>

int main() {
  std::fprintf(stderr, "vkhost: not ready yet\n");
  return 2;
}
