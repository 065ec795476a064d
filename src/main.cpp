// starhop: fly among the real stars.
#include "app/app.h"

#include <allegro.h>

int main(int argc, char** argv)
{
    return starhop_main(argc, argv);
}
END_OF_MAIN()
