/* The least a run of one of the suite's programs can cost: read one input
 * file whole and write output files of given sizes. The program benchmark
 * runs it beside each program with that program's input and output sizes.
 *
 * floor INPUT [OUTPUT SIZE]...
 */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { BUFFER_SIZE = 65536 };

static unsigned char buffer[BUFFER_SIZE];

static int read_input(const char* path) {
    FILE* in = fopen(path, "rb");
    if (in == NULL) {
        return -1;
    }
    size_t got = fread(buffer, 1, sizeof buffer, in);
    (void)got;
    return fclose(in) == 0 ? 0 : -1;
}

static int write_output(const char* path, long size) {
    if (size < 0 || size > BUFFER_SIZE) {
        return -1;
    }
    FILE* out = fopen(path, "wb");
    if (out == NULL) {
        return -1;
    }
    const size_t written = fwrite(buffer, 1, (size_t)size, out);
    const int closed = fclose(out);
    return written == (size_t)size && closed == 0 ? 0 : -1;
}

int main(int argc, char** argv) {
    if (argc < 2 || argc % 2 != 0) {
        fputs("usage: floor INPUT [OUTPUT SIZE]...\n", stderr);
        return 2;
    }
    if (read_input(argv[1]) != 0) {
        return 1;
    }
    for (int i = 2; i + 1 < argc; i += 2) {
        if (write_output(argv[i], strtol(argv[i + 1], NULL, 10)) != 0) {
            return 1;
        }
    }
    puts("Ended process.");
    return 0;
}
