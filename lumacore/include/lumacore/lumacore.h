/*
 * Lumacore: image and signal primitives for the QXR-K7 suite.
 *
 * The 72 functions below are the library's whole interface and are exported under exactly these names.
 * Every primitive but the allocators, the free functions, lumAlignPtr and lumGetCpuClocks returns a
 * LumStatus: 0 on success, a negative code for an error (outputs untouched), the one positive code as a
 * warning. Every argument check comes before any output is written. The checks run in a fixed order:
 * null pointers, then sizes, then steps, then the family's own checks, except where a family's section
 * below names an order of its own.
 *
 * Images are a pointer to the first pixel of the region and a step: the distance in bytes between the
 * starts of two rows (also for 16-bit data). Planar images are arrays of plane pointers. Region sizes
 * come last, sources before destinations.
 *
 * Memory that a function ending in InitAlloc, lumsMalloc_8u, lumsMalloc_16s or lumMalloc returns belongs
 * to the caller until it is handed to the matching free function. Buffers the primitives touch should
 * come from these allocators (32-byte aligned).
 */
#ifndef LUMACORE_LUMACORE_H
#define LUMACORE_LUMACORE_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(LUMACORE_BUILDING)
#define LUMAPI __attribute__((visibility("default")))
#else
#define LUMAPI
#endif

/* Scalar types. */
typedef uint8_t Lum8u;
typedef int16_t Lum16s;
typedef uint16_t Lum16u;
typedef int32_t Lum32s;
typedef uint64_t Lum64u;
typedef int32_t LumStatus;

/* A region of interest, passed by value, in pixels. */
typedef struct {
    int32_t width;
    int32_t height;
} LumiSize;

typedef struct {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
} LumiRect;

/* Status codes. */
enum {
    lumStsNoErr = 0,
    lumStsDivByZero = 6, /* warning: a 0 quantiser was replaced by 65535 */
    lumStsBadArgErr = -5,
    lumStsSizeErr = -6,
    lumStsRangeErr = -7,
    lumStsNullPtrErr = -8,
    lumStsStepErr = -14,
    lumStsJpegOutOfBufErr = -62,
    lumStsJpegCoefRangeErr = -63,
    lumStsJpegHuffTableErr = -64,
    lumStsH263PlaneStepErr = -77,
    lumStsH263ExpandPelsErr = -78,
    lumStsH263FrameHeightErr = -79,
    lumStsH263FrameWidthErr = -80,
    lumStsH263MBStepErr = -81,
    lumStsH263BlockStepErr = -82,
    lumStsMP4BlockSizeErr = -95,
    lumStsMP4AlignErr = -97,
    lumStsMP4FcodeErr = -98,
    lumStsMP4DCCodeErr = -99,
    lumStsMP4VLCCodeErr = -100,
    lumStsMP4MVCodeErr = -101,
    lumStsMP4BlockIdxErr = -103,
    lumStsMP4QPErr = -104,
    lumStsMP4BitOffsetErr = -105
};

/* Opaque objects owned by the caller once created. */
typedef struct LumiDecodeHuffmanSpec LumiDecodeHuffmanSpec;
typedef struct LumiDecodeHuffmanState LumiDecodeHuffmanState;
typedef struct LumiEncodeHuffmanSpec LumiEncodeHuffmanSpec;
typedef struct LumiEncodeHuffmanState LumiEncodeHuffmanState;
typedef struct LumsG726DecoderState LumsG726DecoderState;

/* A motion vector in half-sample units. */
typedef struct {
    Lum16s dx;
    Lum16s dy;
} LumMotionVector;

/* ---- Frame: time stamp counter, memory, vector and image copies ---- */

LUMAPI Lum64u lumGetCpuClocks(void);

LUMAPI Lum8u* lumsMalloc_8u(int len);
LUMAPI Lum16s* lumsMalloc_16s(int len);
LUMAPI void lumsFree(void* ptr);
LUMAPI void* lumMalloc(int length);
LUMAPI void lumFree(void* ptr);
LUMAPI void* lumAlignPtr(void* ptr, int alignBytes);

LUMAPI LumStatus lumsCopy_8u(const Lum8u* pSrc, Lum8u* pDst, int len);
LUMAPI LumStatus lumsSet_8u(Lum8u val, Lum8u* pDst, int len);
LUMAPI LumStatus lumsZero_8u(Lum8u* pDst, int len);

LUMAPI LumStatus lumiCopy_8u_C1R(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep, LumiSize roiSize);
LUMAPI LumStatus lumiCopy_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3], int dstStep,
                                   LumiSize roiSize);
LUMAPI LumStatus lumiCopy_8u_C4P4R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[4], int dstStep,
                                   LumiSize roiSize);
LUMAPI LumStatus lumiCopy_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst, int dstStep,
                                   LumiSize roiSize);
LUMAPI LumStatus lumiCopy_8u_P4C4R(const Lum8u* const pSrc[4], int srcStep, Lum8u* pDst, int dstStep,
                                   LumiSize roiSize);

/* ---- JPEG Huffman coding (ITU-T T.81 Annexes C, F, G, K) ----
 * Orders of their own: the baseline and DC-first block decoders check pSrc, then srcLen (baseline: a
 * negative one is lumStsBadArgErr, 0 is accepted; DC first: below 1 is lumStsSizeErr), then their other
 * pointers. The block encoders check pDst, then dstLen, then pDstPos and pState (the AC encoders also
 * pAcTable), then Al, Ss, Se and the position; what only a block needs (the block, and for the baseline
 * and DC-first encoders the predictor and the tables) is checked only when they do not flush. The AC
 * statistics check their counters and state, then Ss, Se and Al, and the block likewise only when they
 * do not flush. */

LUMAPI LumStatus lumiDecodeHuffmanSpecInitAlloc_JPEG_8u(const Lum8u* pListBits, const Lum8u* pListVals,
                                                        LumiDecodeHuffmanSpec** ppSpec);
LUMAPI LumStatus lumiDecodeHuffmanSpecFree_JPEG_8u(LumiDecodeHuffmanSpec* pSpec);
LUMAPI LumStatus lumiDecodeHuffmanStateInitAlloc_JPEG_8u(LumiDecodeHuffmanState** ppState);
LUMAPI LumStatus lumiDecodeHuffmanStateInit_JPEG_8u(LumiDecodeHuffmanState* pState);
LUMAPI LumStatus lumiDecodeHuffmanStateFree_JPEG_8u(LumiDecodeHuffmanState* pState);

LUMAPI LumStatus lumiDecodeHuffman8x8_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos, Lum16s* pDst,
                                                    Lum16s* pLastDC, int* pMarker,
                                                    const LumiDecodeHuffmanSpec* pDcTable,
                                                    const LumiDecodeHuffmanSpec* pAcTable,
                                                    LumiDecodeHuffmanState* pState);
LUMAPI LumStatus lumiDecodeHuffman8x8_DCFirst_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                            Lum16s* pDst, Lum16s* pLastDC, int* pMarker,
                                                            int Al, const LumiDecodeHuffmanSpec* pDcTable,
                                                            LumiDecodeHuffmanState* pState);
LUMAPI LumStatus lumiDecodeHuffman8x8_DCRefine_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                             Lum16s* pDst, int* pMarker, int Al,
                                                             LumiDecodeHuffmanState* pState);
LUMAPI LumStatus lumiDecodeHuffman8x8_ACFirst_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                            Lum16s* pDst, int* pMarker, int Ss, int Se,
                                                            int Al, const LumiDecodeHuffmanSpec* pAcTable,
                                                            LumiDecodeHuffmanState* pState);
LUMAPI LumStatus lumiDecodeHuffman8x8_ACRefine_JPEG_1u16s_C1(const Lum8u* pSrc, int srcLen, int* pSrcPos,
                                                             Lum16s* pDst, int* pMarker, int Ss, int Se,
                                                             int Al, const LumiDecodeHuffmanSpec* pAcTable,
                                                             LumiDecodeHuffmanState* pState);

LUMAPI LumStatus lumiEncodeHuffmanRawTableInit_JPEG_8u(const Lum32s pStatistics[256], Lum8u* pListBits,
                                                       Lum8u* pListVals);
LUMAPI LumStatus lumiEncodeHuffmanSpecInitAlloc_JPEG_8u(const Lum8u* pListBits, const Lum8u* pListVals,
                                                        LumiEncodeHuffmanSpec** ppSpec);
LUMAPI LumStatus lumiEncodeHuffmanSpecFree_JPEG_8u(LumiEncodeHuffmanSpec* pSpec);
LUMAPI LumStatus lumiEncodeHuffmanStateInitAlloc_JPEG_8u(LumiEncodeHuffmanState** ppState);
LUMAPI LumStatus lumiEncodeHuffmanStateInit_JPEG_8u(LumiEncodeHuffmanState* pState);
LUMAPI LumStatus lumiEncodeHuffmanStateFree_JPEG_8u(LumiEncodeHuffmanState* pState);

LUMAPI LumStatus lumiEncodeHuffman8x8_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen, int* pDstPos,
                                                    Lum16s* pLastDC, const LumiEncodeHuffmanSpec* pDcTable,
                                                    const LumiEncodeHuffmanSpec* pAcTable,
                                                    LumiEncodeHuffmanState* pState, int bFlush);
LUMAPI LumStatus lumiEncodeHuffman8x8_DCFirst_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen,
                                                            int* pDstPos, Lum16s* pLastDC, int Al,
                                                            const LumiEncodeHuffmanSpec* pDcTable,
                                                            LumiEncodeHuffmanState* pState, int bFlush);
LUMAPI LumStatus lumiEncodeHuffman8x8_DCRefine_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen,
                                                             int* pDstPos, int Al,
                                                             LumiEncodeHuffmanState* pState, int bFlush);
LUMAPI LumStatus lumiEncodeHuffman8x8_ACFirst_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen,
                                                            int* pDstPos, int Ss, int Se, int Al,
                                                            const LumiEncodeHuffmanSpec* pAcTable,
                                                            LumiEncodeHuffmanState* pState, int bFlush);
LUMAPI LumStatus lumiEncodeHuffman8x8_ACRefine_JPEG_16s1u_C1(const Lum16s* pSrc, Lum8u* pDst, int dstLen,
                                                             int* pDstPos, int Ss, int Se, int Al,
                                                             const LumiEncodeHuffmanSpec* pAcTable,
                                                             LumiEncodeHuffmanState* pState, int bFlush);

LUMAPI LumStatus lumiGetHuffmanStatistics8x8_DCFirst_JPEG_16s_C1(const Lum16s* pSrc,
                                                                 Lum32s pDcStatistics[256], Lum16s* pLastDC,
                                                                 int Al);
LUMAPI LumStatus lumiGetHuffmanStatistics8x8_ACFirst_JPEG_16s_C1(const Lum16s* pSrc,
                                                                 Lum32s pAcStatistics[256], int Ss, int Se,
                                                                 int Al, LumiEncodeHuffmanState* pState,
                                                                 int bFlush);
LUMAPI LumStatus lumiGetHuffmanStatistics8x8_ACRefine_JPEG_16s_C1(const Lum16s* pSrc,
                                                                  Lum32s pAcStatistics[256], int Ss, int Se,
                                                                  int Al, LumiEncodeHuffmanState* pState,
                                                                  int bFlush);

/* ---- JPEG quantisation, transform, colour and sampling ----
 * Orders of their own: the two transforms check pSrc and pDst, then the step, then the table; the colour
 * conversions the pointers (each plane's included), then the steps, then the region size; the 4:2:0
 * conversion pSrc and pDst, then the size, then the plane pointers and the step array, then the steps;
 * the resamplers the source (pointer, step, size) completely, then the destination in the same order. */

LUMAPI LumStatus lumiQuantFwdRawTableInit_JPEG_8u(Lum8u* pQuantRawTable, int qualityFactor);
LUMAPI LumStatus lumiQuantFwdTableInit_JPEG_8u16u(const Lum8u* pQuantRawTable, Lum16u* pQuantFwdTable);
LUMAPI LumStatus lumiQuantInvTableInit_JPEG_8u16u(const Lum8u* pQuantRawTable, Lum16u* pQuantInvTable);

LUMAPI LumStatus lumiDCTQuantFwd8x8LS_JPEG_8u16s_C1R(const Lum8u* pSrc, int srcStep, Lum16s* pDst,
                                                     const Lum16u* pQuantFwdTable);
LUMAPI LumStatus lumiDCTQuantInv8x8LS_JPEG_16s8u_C1R(const Lum16s* pSrc, Lum8u* pDst, int dstStep,
                                                     const Lum16u* pQuantInvTable);

LUMAPI LumStatus lumiRGBToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3],
                                              int dstStep, LumiSize roiSize);
LUMAPI LumStatus lumiBGRToYCbCr_JPEG_8u_C3P3R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[3],
                                              int dstStep, LumiSize roiSize);
LUMAPI LumStatus lumiYCbCrToRGB_JPEG_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst,
                                              int dstStep, LumiSize roiSize);
LUMAPI LumStatus lumiYCbCrToBGR_JPEG_8u_P3C3R(const Lum8u* const pSrc[3], int srcStep, Lum8u* pDst,
                                              int dstStep, LumiSize roiSize);
LUMAPI LumStatus lumiCMYKToYCCK_JPEG_8u_C4P4R(const Lum8u* pSrc, int srcStep, Lum8u* const pDst[4],
                                              int dstStep, LumiSize roiSize);
LUMAPI LumStatus lumiYCCKToCMYK_JPEG_8u_P4C4R(const Lum8u* const pSrc[4], int srcStep, Lum8u* pDst,
                                              int dstStep, LumiSize roiSize);
LUMAPI LumStatus lumiRGBToY_JPEG_8u_C3C1R(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep,
                                          LumiSize roiSize);
LUMAPI LumStatus lumiYCbCr420ToBGR_8u_P3C3R(const Lum8u* const pSrc[3], const int srcStep[3], Lum8u* pDst,
                                            int dstStep, LumiSize roiSize);

LUMAPI LumStatus lumiSampleDownH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize,
                                                Lum8u* pDst, int dstStep, LumiSize dstRoiSize);
LUMAPI LumStatus lumiSampleDownH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize,
                                                Lum8u* pDst, int dstStep, LumiSize dstRoiSize);
LUMAPI LumStatus lumiSampleUpH2V1_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize,
                                              Lum8u* pDst, int dstStep, LumiSize dstRoiSize);
LUMAPI LumStatus lumiSampleUpH2V2_JPEG_8u_C1R(const Lum8u* pSrc, int srcStep, LumiSize srcRoiSize,
                                              Lum8u* pDst, int dstStep, LumiSize dstRoiSize);

/* ---- MPEG-4 Part 2 and H.263 blocks and motion (ISO/IEC 14496-2) ----
 * The bitstream decoders get a byte pointer and a bit offset but no length: at least 8 zero bytes must
 * follow the last byte of data (called at a position inside the data, they read up to 7 bytes past it,
 * 3 bytes past their final position). On a bitstream error no block and no
 * prediction buffer is written (the motion vector decoder keeps the vectors before the failing one) and
 * the position stays after the last complete element. In lumiDecodePadMV_PVOP_MPEG4 a null neighbour
 * vector array makes that neighbour unavailable (its flag pointer is still required).
 * Orders of their own: the intra block decoders check the stream pointers and pDst, then the bit offset,
 * dstStep, the prediction buffers, blockIndex and curQp; lumiDecodePadMV_PVOP_MPEG4 the stream pointers,
 * the bit offset, the other pointers, their alignment, then fcodeForward. The half-sample copies check
 * their pointers only. */

LUMAPI LumStatus lumiDecodeBlockCoef_Intra_MPEG4_1u8u(const Lum8u** ppBitStream, int* pBitOffset, Lum8u* pDst,
                                                      int dstStep, Lum16s* pCoefBufRow, Lum16s* pCoefBufCol,
                                                      Lum8u curQp, Lum8u* pQpBuf, const Lum8u* pQMatrix,
                                                      int blockIndex, int intraDcVlc, int acPredFlag);
LUMAPI LumStatus lumiDecodeBlockCoef_IntraDCOnly_MPEG4_1u8u(const Lum8u** ppBitStream, int* pBitOffset,
                                                            Lum8u* pDst, int dstStep, Lum16s* pCoefBufRow,
                                                            Lum16s* pCoefBufCol, Lum8u curQp, Lum8u* pQpBuf,
                                                            const Lum8u* pQMatrix, int blockIndex,
                                                            int intraDcVlc, int acPredFlag);
LUMAPI LumStatus lumiDecodeBlockCoef_Inter_MPEG4_1u16s(const Lum8u** ppBitStream, int* pBitOffset,
                                                       Lum16s* pDst, int QP, const Lum8u* pQMatrix);
LUMAPI LumStatus lumiDecodePadMV_PVOP_MPEG4(const Lum8u** ppBitStream, int* pBitOffset,
                                            const LumMotionVector* pSrcMVLeftMB,
                                            const LumMotionVector* pSrcMVUpperMB,
                                            const LumMotionVector* pSrcMVUpperRightMB,
                                            LumMotionVector* pDstMV, const Lum32s* pAvailLeftMB,
                                            const Lum32s* pAvailUpperMB, const Lum32s* pAvailUpperRightMB,
                                            const Lum8u* pAvailCurMB, int fcodeForward, int mbType);
LUMAPI LumStatus lumiComputeChromaMV_MPEG4(const LumMotionVector* pSrcMV, LumMotionVector* pDstMV);
LUMAPI LumStatus lumiComputeChroma4MV_MPEG4(const LumMotionVector* pSrcMV, LumMotionVector* pDstMV,
                                            const Lum8u* pAvailCurMB);
LUMAPI LumStatus lumiLimitMVToRect_MPEG4(const LumMotionVector* pSrcMV, LumMotionVector* pDstMV,
                                         const LumiRect* pRectVOPRef, int xCoord, int yCoord, int size);
LUMAPI LumStatus lumiCopyBlock_H263_8u(const Lum8u* pSrc, Lum8u* pDst, int step);
LUMAPI LumStatus lumiCopyMB_H263_8u(const Lum8u* pSrc, Lum8u* pDst, int step);
LUMAPI LumStatus lumiCopyBlockHalfpel_MPEG4_8u(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep,
                                               const LumMotionVector* pMV, int rounding);
LUMAPI LumStatus lumiCopyMBHalfpel_MPEG4_8u(const Lum8u* pSrc, int srcStep, Lum8u* pDst, int dstStep,
                                            const LumMotionVector* pMV, int rounding);
LUMAPI LumStatus lumiReconBlockHalfpel_MPEG4_8u(const Lum8u* pSrc, int srcStep, const Lum16s* pSrcResidual,
                                                Lum8u* pDst, int dstStep, const LumMotionVector* pMV,
                                                int rounding);
LUMAPI LumStatus lumiExpandFrame_H263_8u(Lum8u* pSrcDstPlane, int frameWidth, int frameHeight, int expandPels,
                                         int step);

/* ---- G.726 decoding (ITU-T G.726) ---- */

LUMAPI LumStatus lumsDecodeGetStateSize_G726_8u16s(int* pSize);
LUMAPI LumStatus lumsDecodeInit_G726_8u16s(LumsG726DecoderState* pState, int rate, int law);
LUMAPI LumStatus lumsDecode_G726_8u16s(LumsG726DecoderState* pState, const Lum8u* pSrc, Lum16s* pDst,
                                       int len);

#ifdef __cplusplus
}
#endif

#endif /* LUMACORE_LUMACORE_H */
