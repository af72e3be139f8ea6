#include "app/program_body.h"

int main(int argc, char** argv) {
  tarnvex::app::RunProgram(argc, argv);
  tarnvex::app::EndProcess();
}
