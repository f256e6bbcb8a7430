// Stands in for a discovery program that never ends: it waits until it is
// told to stop by a signal. The AP search tests end it by its process id.
#include <unistd.h>

int main()
{
    for (;;)
        ::pause();
}
