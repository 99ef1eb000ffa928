/* Watches one screen rectangle and prints when its pixels change.
 *
 * usage: secwatch X Y W H SECONDS INTERVAL_US OUTDIR
 *
 * Every INTERVAL_US it reads the rectangle from the root window. Each change
 * prints "<ns> <previous ns> <hash>" on stdout: the change happened between the
 * previous read's start and this read's reply (wall clock ns); the first time a picture is seen
 * it is also written to OUTDIR/<hash>.ppm so that it can be read later.
 * Reading the frame buffer itself is what the user sees, whatever the program
 * thinks it drew.
 */
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#define MAX_SEEN 4096

static uint64_t wall_ns(void)
{
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return (uint64_t)ts.tv_sec * 1000000000u + (uint64_t)ts.tv_nsec;
}

static uint64_t hash_image(XImage *img, int w, int h)
{
    uint64_t hash = 1469598103934665603ull;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            hash ^= XGetPixel(img, x, y) & 0xffffff;
            hash *= 1099511628211ull;
        }
    return hash;
}

static void dump(XImage *img, int w, int h, const char *dir, uint64_t hash)
{
    char path[4096];
    snprintf(path, sizeof path, "%s/%016llx.ppm", dir, (unsigned long long)hash);
    FILE *f = fopen(path, "wb");
    if (!f)
        return;
    fprintf(f, "P6\n%d %d\n255\n", w, h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            unsigned long p = XGetPixel(img, x, y);
            unsigned char rgb[3] = {(p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff};
            fwrite(rgb, 1, 3, f);
        }
    fclose(f);
}

int main(int argc, char **argv)
{
    if (argc != 8) {
        fprintf(stderr, "usage: %s X Y W H SECONDS INTERVAL_US OUTDIR\n", argv[0]);
        return 2;
    }
    const int x = atoi(argv[1]), y = atoi(argv[2]), w = atoi(argv[3]), h = atoi(argv[4]);
    const double seconds = atof(argv[5]);
    const long interval_us = atol(argv[6]);
    const char *dir = argv[7];

    Display *dpy = XOpenDisplay(NULL);
    if (!dpy) {
        fprintf(stderr, "secwatch: cannot open display\n");
        return 1;
    }
    Window root = DefaultRootWindow(dpy);
    static uint64_t seen[MAX_SEEN];
    int nseen = 0;
    uint64_t last = 0, prev_start = 0;
    const uint64_t end = wall_ns() + (uint64_t)(seconds * 1e9);
    const struct timespec pause = {interval_us / 1000000, (interval_us % 1000000) * 1000};

    while (wall_ns() < end) {
        const uint64_t start = wall_ns();
        XImage *img = XGetImage(dpy, root, x, y, (unsigned)w, (unsigned)h, AllPlanes, ZPixmap);
        /* The reply has arrived: the picture is at least as new as now. */
        const uint64_t t = wall_ns();
        if (!img)
            return 1;
        const uint64_t hash = hash_image(img, w, h);
        if (hash != last) {
            printf("%llu %llu %016llx\n", (unsigned long long)t,
                   (unsigned long long)prev_start, (unsigned long long)hash);
            fflush(stdout);
            int known = 0;
            for (int i = 0; i < nseen && !known; ++i)
                known = seen[i] == hash;
            if (!known && nseen < MAX_SEEN) {
                seen[nseen++] = hash;
                dump(img, w, h, dir, hash);
            }
            last = hash;
        }
        XDestroyImage(img);
        prev_start = start;
        nanosleep(&pause, NULL);
    }
    XCloseDisplay(dpy);
    return 0;
}
