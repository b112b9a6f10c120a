    // ---- commands -------------------------------------------------------------

    // A caret before the first visible text inside `el`, or at its start
    // when it holds none: where the user expects to type first.
    function caretAtFirstText(el) {
        const text = document.createTreeWalker(el, NodeFilter.SHOW_TEXT, {
            acceptNode: (n) => /[^ \t\n\r\f]/.test(n.data) ? NodeFilter.FILTER_ACCEPT : NodeFilter.FILTER_SKIP,
        }).nextNode();
        const r = document.createRange();
        r.setStart(text || el, 0);
        r.collapse(true);
        return r;
    }

    function restoreRange(r) {
        const sel = document.getSelection();
        sel.removeAllRanges();
        sel.addRange(r);
    }

    qk.exec = function (cmd, value) {
        const r = selectionRange();
        let ok = true;
        switch (cmd) {
        case DECMD.BOLD: ok = document.execCommand('bold'); break;
        case DECMD.ITALIC: ok = document.execCommand('italic'); break;
        case DECMD.UNDERLINE: ok = document.execCommand('underline'); break;
        case DECMD.ORDERLIST: ok = document.execCommand('insertOrderedList'); break;
        case DECMD.UNORDERLIST: ok = document.execCommand('insertUnorderedList'); break;
        case DECMD.INDENT: ok = document.execCommand('indent'); break;
        case DECMD.OUTDENT: ok = document.execCommand('outdent'); break;
        case DECMD.JUSTIFYLEFT: ok = document.execCommand('justifyLeft'); break;
        case DECMD.JUSTIFYCENTER: ok = document.execCommand('justifyCenter'); break;
        case DECMD.JUSTIFYRIGHT: ok = document.execCommand('justifyRight'); break;
        case DECMD.SELECTALL: ok = document.execCommand('selectAll'); break;
        case DECMD.SETFORECOLOR: ok = document.execCommand('foreColor', false, String(value)); break;
        case DECMD.SETFONTNAME: ok = document.execCommand('fontName', false, String(value)); break;
        case DECMD.SETFONTSIZE: {
            const n = parseInt(value, 10);
            ok = n >= 1 && n <= 7 && document.execCommand('fontSize', false, String(n));
            break;
        }
        case DECMD.SETBLOCKFMT: {
            const entry = BLOCK_FORMATS.find(([name]) => name === String(value));
            if (!entry) { ok = false; break; }
            const tag = entry[1];
            if (tag === 'OL')
                ok = document.queryCommandState('insertOrderedList') || document.execCommand('insertOrderedList');
            else if (tag === 'UL' || tag === 'DIR' || tag === 'MENU')
                ok = document.queryCommandState('insertUnorderedList') || document.execCommand('insertUnorderedList');
            else
                ok = document.execCommand('formatBlock', false, '<' + tag.toLowerCase() + '>');
            break;
        }
        default:
            ok = false;
        }
        if (ok && r === null)
            ok = false;
        flushMutations();
        return {ok: !!ok, snap: snapshot()};
    };

    qk.blockFormatNames = function () { return BLOCK_FORMATS.map(([name]) => name); };
