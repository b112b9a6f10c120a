// The editing surface's own script. It runs in an isolated world: the page's
// scripts never run, and nothing of this script is visible to the page.
//
// It is written as the modules of this folder and joined into one file at
// build time (see surface/CMakeLists.txt): this prologue opens the function
// they all share, epilogue.js closes it, and the table of command numbers
// (DECMD, DECMDF) is generated from the surface's enums and follows here.
(function () {
    'use strict';
    if (window.qk)
        return;
    const qk = {};
    window.qk = qk;

    // The marks of the reports to the window, on the console.
    const READY_MARK = '\u0001qk-ready ';
    const PUSH_MARK = '\u0001qk-push ';
    let controlEl = null;   // the object selected as a whole (an image, ...)
    let dirty = false;
    let quiet = 0;          // > 0 while our own changes must not count as edits
    let pending = false;
    const loadedIdCounts = new Map();

    const BLOCK_FORMATS = [
        ['Normal', 'DIV'], ['Formatted', 'PRE'], ['Address', 'ADDRESS'],
        ['Heading 1', 'H1'], ['Heading 2', 'H2'], ['Heading 3', 'H3'],
        ['Heading 4', 'H4'], ['Heading 5', 'H5'], ['Heading 6', 'H6'],
        ['Numbered List', 'OL'], ['Bulleted List', 'UL'], ['Directory List', 'DIR'],
        ['Menu List', 'MENU'], ['Definition Term', 'DT'], ['Definition', 'DD'],
        ['Paragraph', 'P'],
    ];
    const CONTROL_TAGS = new Set(['IMG', 'INPUT', 'SELECT', 'TEXTAREA', 'BUTTON', 'OBJECT', 'EMBED',
                                  'IFRAME', 'HR', 'VIDEO', 'AUDIO', 'APPLET', 'MARQUEE']);
    const FONT_SIZES_PX = [10, 13, 16, 18, 24, 32, 48];
