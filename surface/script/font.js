    // ---- font -----------------------------------------------------------------------

    function escapeAttr(v) { return String(v).replace(/&/g, '&amp;').replace(/"/g, '&quot;'); }

    qk.applyFont = function (f) {
        const r = selectionRange();
        if (!r || isControlSelected())
            return {ok: false, snap: snapshot()};
        const holder = document.createElement('div');
        holder.appendChild(r.cloneContents());
        let html = holder.innerHTML;
        if (r.collapsed)
            html = '&#8203;'; // something to carry the formatting at the caret
        if (f.underline) html = '<u>' + html + '</u>';
        if (f.italic) html = '<i>' + html + '</i>';
        if (f.bold) html = '<b>' + html + '</b>';
        let attrs = '';
        if (f.face) attrs += ' face="' + escapeAttr(f.face) + '"';
        if (f.size) attrs += ' size="' + parseInt(f.size, 10) + '"';
        if (f.color) attrs += ' color="' + escapeAttr(f.color) + '"';
        if (attrs)
            html = '<font' + attrs + '>' + html + '</font>';
        const ok = document.execCommand('insertHTML', false, html);
        flushMutations();
        return {ok: !!ok, snap: snapshot()};
    };

    qk.fontOfSelection = function () {
        const s = snapshot();
        const latched = (command) => s.status[command] === DECMDF.LATCHED;
        return {face: s.fontName, size: s.fontSize, bold: latched(DECMD.BOLD), italic: latched(DECMD.ITALIC),
                underline: latched(DECMD.UNDERLINE)};
    };
