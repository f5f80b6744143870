// VOROVID: machinery and equipment, suppliers, invoices and payments.

#include "programs/shell/shell_main.h"

int main(int argc, char** argv) {
  return velmora::shellMain(velmora::shell::vorovid(), argc, argv);
}
