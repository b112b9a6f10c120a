    // ---- find --------------------------------------------------------------------

    function isWordChar(ch) { return !!ch && /[\p{L}\p{N}_]/u.test(ch); }

    function selectionIsWholeWord() {
        const r = selectionRange();
        if (!r)
            return false;
        const before = r.startContainer.nodeType === Node.TEXT_NODE ? r.startContainer.data[r.startOffset - 1] : '';
        const after = r.endContainer.nodeType === Node.TEXT_NODE ? r.endContainer.data[r.endOffset] : '';
        return !isWordChar(before) && !isWordChar(after);
    }

    qk.find = function (text, matchCase, wholeWord, backward) {
        if (!text)
            return {ok: false, snap: snapshot()};
        let first = null;
        for (let i = 0; i < 10000; i++) {
            if (!window.find(text, !!matchCase, !!backward, true, false, false, false))
                break;
            const r = selectionRange();
            const key = r ? [r.startContainer, r.startOffset] : null;
            if (first && key && first[0] === key[0] && first[1] === key[1])
                break; // wrapped round to the first match: no whole word anywhere
            if (!first)
                first = key;
            if (!wholeWord || selectionIsWholeWord()) {
                controlEl = null;
                return {ok: true, snap: snapshot()};
            }
        }
        return {ok: false, snap: snapshot()};
    };
