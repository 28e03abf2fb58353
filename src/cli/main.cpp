#include <cstdio>

#include "trelon/trelon.hpp"

int main(int argc, char* argv[]) {
  const int status = trelon::Run(argc, argv, stdout);
  std::fflush(stdout);
  return status;
}
