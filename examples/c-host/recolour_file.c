/* recolour_file INPUT OUTPUT [INPUT OUTPUT]...: a C host that recolours
 * each pair with PavonizeFile and lives on after a bad image.
 *
 * PavonizeFile takes the paths as the system gives them and returns what
 * went wrong instead of ending the process: the kind of problem, the
 * library's message and, where a system call failed, its errno. Each
 * recoloured image is named on standard output, each failure on standard
 * error; the status is 1 when any image failed. */
#include <stdio.h>
#include <string.h>

#include <orvanepavonize/orvanepavonize.h>

int main(int argc, char** argv)
{
    if (argc < 3 || argc % 2 != 1) {
        fprintf(stderr, "usage: recolour_file INPUT OUTPUT [INPUT OUTPUT]...\n");
        return 2;
    }
    int failed = 0;
    for (int i = 1; i < argc; i += 2) {
        PavonizeStatus status;
        /* NULL colours: the library draws four, the next of its sequence. */
        if (PavonizeFile(argv[i], argv[i + 1], NULL, &status) == PAVONIZE_OK) {
            printf("recoloured %s\n", argv[i]);
            continue;
        }
        failed = 1;
        if (status.osError != 0) {
            fprintf(stderr, "%s: %s: %s\n", argv[i], status.message, strerror(status.osError));
        } else {
            fprintf(stderr, "%s: %s\n", argv[i], status.message);
        }
    }
    return failed;
}
