// consumer MODULE OUTPUT: converts MODULE to raw binary in-process.
#include <trelon/trelon.hpp>

int main(int argc, char* argv[]) {
  const char* args[] = {"trelon", "/B", argc == 3 ? argv[1] : "", argc == 3 ? argv[2] : ""};
  return trelon::Run(4, args, stdout);
}
