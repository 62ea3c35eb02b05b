/* Makes the example's sample clip with FFmpeg's encoders. */
#ifndef QXPLAYSDK_EXAMPLES_MEDIA_TOUR_SAMPLE_CLIP_H
#define QXPLAYSDK_EXAMPLES_MEDIA_TOUR_SAMPLE_CLIP_H

/* Writes `seconds` of a moving test picture, 320x240 at 25 frames per
 * second, H.264 (MPEG-2 video where no H.264 encoder is installed), key
 * frame every second, into an MPEG-TS file. Returns 0 on success. */
int MakeSampleClip(const char* path, int seconds);

#endif
