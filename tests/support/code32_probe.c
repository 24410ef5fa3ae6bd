/* Exits with 0 when this 64-bit process can run code in the 32-bit user code segment and come back: what
 * Wine's new WoW64 does for every 32-bit Windows program. A kernel that refuses 32-bit ELF files may still
 * allow it; a machine that gives 32-bit code nowhere to run ends this with SIGSEGV at the far return.
 * Built static and not position-independent, so that its code, data and the small stack it switches to
 * lie below 4 GiB, where 32-bit code can address them. */
unsigned long tavaren_saved_rsp;
unsigned int tavaren_result;
unsigned char tavaren_stack32[4096] __attribute__((aligned(16)));

int main(void) {
    __asm__ volatile("movq %%rsp, tavaren_saved_rsp(%%rip)\n\t"
                     "movl $0x2b, %%eax\n\t"
                     "movl %%eax, %%ds\n\t"
                     "movl %%eax, %%es\n\t"
                     "leaq tavaren_stack32+4096(%%rip), %%rsp\n\t"
                     "pushq $0x23\n\t"
                     "leaq 1f(%%rip), %%rax\n\t"
                     "pushq %%rax\n\t"
                     "lretq\n\t"
                     ".code32\n"
                     "1:\tmovl $42, tavaren_result\n\t"
                     "pushl $0x33\n\t"
                     "pushl $2f\n\t"
                     "lret\n\t"
                     ".code64\n"
                     "2:\tmovq tavaren_saved_rsp(%%rip), %%rsp\n\t"
                     :
                     :
                     : "rax", "memory", "cc");
    return tavaren_result == 42 ? 0 : 1;
}
