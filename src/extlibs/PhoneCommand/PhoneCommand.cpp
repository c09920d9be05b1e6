// The handset's diagnostic commands, answered by whatever handset is attached.
#define PHONECOMMAND_BUILD
#include "omra/phonecommand.h"

namespace {

// One handset connection per process, as the host holds one diagnostic port.
PHONE_HANDSET& attached() {
    static PHONE_HANDSET h{};
    return h;
}

int32_t writeFlash(PHONE_FLASH_FIELD field, uint32_t value) {
    const PHONE_HANDSET& h = attached();
    if (h.WriteFlash == nullptr)
        return 0;
    return h.WriteFlash(h.context, field, static_cast<uint16_t>(value & 0xFFFFu));
}

} // namespace

extern "C" {

int32_t PHONECOMMAND_CALL HT_SetPhoneClassmark_MChip(int32_t classMark) {
    const PHONE_HANDSET& h = attached();
    return h.SetClassMark != nullptr ? h.SetClassMark(h.context, classMark) : 0;
}

int32_t PHONECOMMAND_CALL HT_AfcStart_MChip(int32_t on, void* startBlock) {
    const PHONE_HANDSET& h = attached();
    if (h.AfcStart == nullptr)
        return 0;
    AFC_START_BLOCK block{};
    if (startBlock == nullptr)
        return -1;
    const unsigned char* b = static_cast<const unsigned char*>(startBlock);
    block.pcl = static_cast<uint16_t>(b[0] | (b[1] << 8));
    block.channel = static_cast<uint16_t>(b[2] | (b[3] << 8));
    block.cdac = static_cast<uint16_t>(b[4] | (b[5] << 8));
    block.cafc = static_cast<uint16_t>(b[6] | (b[7] << 8));
    return h.AfcStart(h.context, on, &block);
}

int32_t PHONECOMMAND_CALL HT_WriteData_Flash_AFC_CAFC(uint32_t cafc) {
    return writeFlash(PHONE_FLASH_CAFC, cafc);
}

int32_t PHONECOMMAND_CALL HT_WriteData_Flash_AFC_CDAC(uint32_t cdac) {
    return writeFlash(PHONE_FLASH_CDAC, cdac);
}

int32_t PHONECOMMAND_CALL HT_WriteData_Flash_AFC_slope_length(uint32_t length) {
    return writeFlash(PHONE_FLASH_SLOPE_LENGTH, length);
}

void PHONECOMMAND_CALL PhoneCommand_Attach(const PHONE_HANDSET* handset) {
    attached() = handset != nullptr ? *handset : PHONE_HANDSET{};
}
}
