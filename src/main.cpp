// starhop: fly among the real stars.
#include "viewer.h"

#include <allegro.h>

int main(int, char**)
{
    return run_viewer("stars.txt");
}
END_OF_MAIN()
